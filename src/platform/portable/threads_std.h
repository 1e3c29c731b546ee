// The thread adapter every OS shares: detached std::threads and
// std::this_thread::sleep_for (winpthreads under them on Windows). Each
// adapter folder's MakeThreadPort returns it.
#pragma once

#include <memory>

#include "platform/threads.h"

namespace qarx::portable {

std::unique_ptr<ThreadPort> MakeStdThreadPort();

}  // namespace qarx::portable
