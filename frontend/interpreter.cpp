#include "frontend/interpreter.h"

#include <cstring>

#include "frontend/uci.h"
#include "frontend/xboard_commands.h"

void interpret_command(Session& s, char* line) {
  if (s.protocol.load() == Protocol::UCI) {
    uci_command(s, line);
    return;
  }
  if (std::strcmp(line, "uci") == 0) {
    // The other protocol, until the end; a search cannot be running here.
    leave_xboard(s);
    s.protocol.store(Protocol::UCI);
    uci_command(s, line);
    return;
  }
  xboard_command(s, line);
}
