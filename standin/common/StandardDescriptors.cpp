#include "StandardDescriptors.h"

#include <initializer_list>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace standin {

void protectStandardDescriptors() {
#if !defined(_WIN32)
  for (int descriptor : {0, 1, 2}) {
    if (fcntl(descriptor, F_GETFD) != -1) continue;
    // The lowest free number is this one. Open the other way round, so that every use fails.
    int opened = open("/dev/null", descriptor == 0 ? O_WRONLY : O_RDONLY);
    if (opened != descriptor && opened >= 0) close(opened);
  }
#endif
}

}  // namespace standin
