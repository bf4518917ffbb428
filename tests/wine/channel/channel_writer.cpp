// The writing side of the ring for the two-process tests.
//   channel_writer lines      a fixed set of awkward lines
//   channel_writer count N    the lines "n 1" to "n N"
// Exit code 0 when the channel opened, 2 when it did not, 3 on bad arguments.
#include <cstdlib>
#include <string>

#include "common/zt_mapfile.h"
#include "platform/win/win_shared_memory.h"

int main(int argc, char** argv) {
  gandry::WinSharedMemory memory;
  gandry::MessageChannel channel(memory);
  if (!channel.open()) {
    return 2;
  }
  const std::string script = argc > 1 ? argv[1] : "";
  if (script == "lines") {
    for (const std::string& line :
         {std::string("first"), std::string(300, 'w'), std::string("two\nlines"), std::string(),
          std::string("\xe4\xf6\xfc last")}) {
      channel.append(line);
    }
  } else if (script == "count" && argc > 2) {
    const int count = std::atoi(argv[2]);
    for (int i = 1; i <= count; ++i) {
      channel.append("n " + std::to_string(i));
    }
  } else {
    return 3;
  }
  channel.close();
  return 0;
}
