#pragma once
// The texts that Tavrix shows. Channels and models return them; the windows show them.

#include <string_view>

namespace tavrix::texts {

inline constexpr std::string_view kProgramName = "Tavrix";

// Serial port set-up, each after "COM%d".
inline constexpr std::string_view kPortMissing = "无效端口，打开失败！";
inline constexpr std::string_view kPortBusy = "已被其它程序打开，打开失败！";
inline constexpr std::string_view kPortUnknownError = "未知错误，打开失败！";
// Follows "COM%d" without a space.
inline constexpr std::string_view kPortSettings = "设置错误：\n可能不支持所选波特率，或停止位，或数据位";

// Socket set-up.
inline constexpr std::string_view kSocketCreateFailed = "创建Socket失败！";
inline constexpr std::string_view kConnectFailed = "连接服务器失败！";
inline constexpr std::string_view kServerFailed = "创建服务器失败！";

// Checks of what the user typed.
inline constexpr std::string_view kBadPort = "端口必须是 1 到 65535 之间的整数！";
inline constexpr std::string_view kBadInterval = "重复间隔必须是不小于 10 的整数（毫秒）！";
inline constexpr std::string_view kTooLong = "发送数据（含校验码）超过 8192 字节，未发送！";
inline constexpr std::string_view kBadCheckStart = "请输入 1 到 1000 之间的整数。";

// Shown when a channel closes with frames not yet on the line; {} is their number.
inline constexpr std::string_view kFramesDropped = "连接已关闭，{} 帧未发送完，已丢弃\n";

// Shown when a send took nothing, with the reason.
inline constexpr std::string_view kQueueFull = "未发送：已有 16 帧等待发送\n";
inline constexpr std::string_view kServerDoesNotSend = "未发送：TCP Server 只接受连接，请在客户端的连接窗口中发送\n";
inline constexpr std::string_view kNoPeerYet = "未发送：还没有收到过数据报，不知道发给谁\n";
inline constexpr std::string_view kNotOpen = "未发送：端口未打开\n";

// A client refused because descriptors ran short; {} the peer, {} the limit.
inline constexpr std::string_view kClientRefused = "拒绝客户端 {}：打开的文件数将达上限 {}，连接已关闭\n";
// Datagrams the kernel dropped since the last such line; {} their number.
inline constexpr std::string_view kDatagramsDropped = "接收缓冲区已满，系统丢弃了 {} 个数据报\n";

// Captions.
inline constexpr std::string_view kOpenPort = "打开端口";
inline constexpr std::string_view kClosePort = "关闭端口";
inline constexpr std::string_view kSendData = "发送数据";
inline constexpr std::string_view kStopSending = "停止发送";
inline constexpr std::string_view kCheckCaption = "冗余校验";
inline constexpr std::string_view kNoAddress = "没有取得";

}  // namespace tavrix::texts
