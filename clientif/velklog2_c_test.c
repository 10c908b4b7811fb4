/* A C host of libvelklog2: calls before attaching refuse; init_mlog_calls
 * starts the stand-in client (VELKLOG2_DESKTERM) and waits for it; then the
 * calls answer from its sections. */

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "clientif/velklog2.h"

static int failures = 0;

#define CHECK(condition)                                                      \
  do {                                                                        \
    if (!(condition)) {                                                       \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                             \
    }                                                                         \
  } while (0)

static void end_started_client(void) {
  const char* pid_file = getenv("STANDIN_PIDFILE");
  FILE* file = pid_file != NULL ? fopen(pid_file, "r") : NULL;
  long pid = 0;
  if (file == NULL) return;
  if (fscanf(file, "%ld", &pid) == 1 && pid > 0) {
    int status = 0;
    kill((pid_t)pid, SIGTERM);
    waitpid((pid_t)pid, &status, 0);
  }
  fclose(file);
}

int main(void) {
  const char* home = getenv("VELKLOG2_HOME");
  int32_t count = 0, slot = -1, channel = -1, station = 0, control = 0;
  TNetNode node;
  CHEAD head;
  int32_t rc;

  if (home == NULL) {
    fprintf(stderr, "VELKLOG2_HOME is not set\n");
    return 2;
  }
  mkdir(home, 0700);

  /* Detached: -1, false, 0 or the empty text. */
  CHECK(GetScadaCount() == -1);
  CHECK(GetOperatorCount() == -1);
  CHECK(IsCLientRunning() == 0);
  CHECK(get_scada_number(&count) == 0);
  CHECK(read_realtime_data(1, 0, 0, 0, 0) == -2147483648.0);
  CHECK(check_operator_pass("admin", "123456") == -1);
  CHECK(strcmp(GetChannelName(0, 0), "") == 0);
  CHECK(ChooseCtrlDlg(0, &station, &control) == 0);
  CHECK(IsParaCodeValid(3, 4) == -1);

  rc = init_mlog_calls();
  CHECK(rc == 1);
  if (rc != 1) fprintf(stderr, "init_mlog_calls: %d %s\n", rc, GetInitErrorMsg(rc));

  CHECK(GetScadaCount() == 2);
  CHECK(get_scada_number(&count) == 1 && count == 2);
  CHECK(strcmp(GetScadaName(0, 0), "FE-10") == 0);
  CHECK(strcmp(GetScadaName(0, 1), "FE-10B") == 0);
  CHECK(GetNetNodeCount() == 6);
  CHECK(get_main_server_node(&node) == 1 && node.nodeId == 1);
  CHECK(read_CHEAD(&head, 1) == 1 && head.channelCount == 1);
  CHECK(GetMeterCount(0, 0) == 3);
  CHECK(strcmp(GetparaName(0, 0, 0, 1, 1), "Ub") == 0);
  CHECK(read_realtime_data(1, 0, 0, 0, 1) == 221.5);
  CHECK(read_realtime_data(2, 0, 0, 0, 0) == 1.0);
  CHECK(FindChannelIndex(20, 201, &slot, &channel) == 1 && slot == 1 && channel == 0);
  CHECK(GetControlCount(0) == 5);
  CHECK(check_operator_pass("admin", "123456") == 0);
  CHECK(check_operator_pass("admin", "12345") == -1);
  CHECK(get_operator_DTYPE(0) == 0xFF);
  CHECK(add_ctrl_do(1, 2, "open", 1, 0, 0, 0, "") == 1);
  CHECK(add_ctrl_do(1, 2, "open", 1, 0, 0, 0, "") == 0);

  close_mlog_calls();
  CHECK(GetScadaCount() == -1);
  end_started_client();
  if (failures == 0) printf("velklog2 C host: all checks passed\n");
  return failures == 0 ? 0 : 1;
}
