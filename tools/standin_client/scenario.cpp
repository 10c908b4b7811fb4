#include "tools/standin_client/standin.h"

namespace standin {

Scenario SampleScenario(const std::string& computer) {
  Scenario s;
  s.nodes = {
      {1, "主服务器", "srv-main", velk::kRoleServer, 0x0010, 0, 0, 0},
      {2, "备服务器", "srv-spare", velk::kRoleServer | velk::kRoleStandbyServer, 0x0010, 0, 0, 0},
      {3, "FE-20", "fe20", velk::kRoleFrontEnd, 0x0030, 20, 1, 2},
      {4, "FE-10", "fe10", velk::kRoleFrontEnd, 0x0020, 10, 5, 6},
      {5, "FE-10B", "fe10b", velk::kRoleFrontEnd | velk::kRoleStandbyFrontEnd, 0x0010, 10, 3, 4},
      {6, "CLIENT", computer, velk::kRoleClient, 0x1234, 0, 9, 10},
  };

  Station ten;
  ten.id = 10;
  Meter first{1001, "一号表", 11, 12, 13, 14, {}, {}};
  first.analog = {{5001, "Ua", 220.5}, {5002, "Ub", 221.5}, {5003, "Uc", 222.5}};
  first.status = {{6001, "开关1", 1}, {6002, "开关2", 0}};
  Meter empty{1002, "空表", 0, 0, 0, 0, {}, {}};
  Meter third{1003, "三号表", 0, 0, 0, 0, {{5011, "Ia", 5.5}}, {}};
  Meter fourth{1011, "四号表", 0, 0, 0, 0, {{5021, "P", 100.25}}, {{6021, "Q", 1}}};
  Meter fifth{1012, "五号表", 0, 0, 0, 0, {}, {{6031, "合闸", 1}, {6032, "分闸", 0}}};
  ten.channels = {{101, "一号通道", 7, {first, empty, third}}, {102, "二号通道", 8, {fourth, fifth}}};
  ten.controls = {{7001, "遥控1", 0}, {7002, "遥控2", 1}, {7003, "遥控3", 0}, {7004, "遥控4", 1}, {7005, "遥控5", 2}};
  ten.dayrpts = {{8001, "日报1"}, {8002, "日报2"}, {8003, "日报3"}, {8004, "日报4"}};
  ten.engrpts = {{9001, "电量1"}, {9002, "电量2"}};
  ten.calcs = {{9501, "计算1", 1.5}, {9502, "计算2", 2.5}, {9503, "计算3", 3.5}};

  Station twenty;
  twenty.id = 20;
  twenty.channels = {{201, "二十站通道", 9, {{2001, "二十站表", 0, 0, 0, 0, {{5101, "U", 10.0}}, {{6101, "K", 1}}}}}};
  twenty.controls = {{7101, "二十站遥控", 0}};

  s.stations = {twenty, ten};
  s.operators = {{"admin", "123456", 0xFF}, {"guest", "guest", 0x01}, {"Zhang", "abc", 0x03}};
  s.exchangeMessage = "正在运行";
  s.setupCount = 7;
  for (std::size_t i = 0; i < s.updateTime.size(); ++i) s.updateTime[i] = static_cast<std::uint8_t>(i + 1);
  s.eventWriteIndex = 10;
  return s;
}

}  // namespace standin
