#include "os/os.h"

#include "os/linux_os.h"

namespace kmb::os {

namespace {

Os& default_backend()
{
    static LinuxOs linux_os;
    return linux_os;
}

Os* installed = nullptr;

} // namespace

Os* install(Os* backend)
{
    Os* previous = installed;
    installed = backend;
    return previous;
}

Os& current() { return installed != nullptr ? *installed : default_backend(); }

} // namespace kmb::os
