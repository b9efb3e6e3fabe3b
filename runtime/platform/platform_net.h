// Platform services: sockets.
#pragma once

namespace corvane::platform {

} // namespace corvane::platform
