// Platform services: dynamic libraries.
#pragma once

namespace corvane::platform {

} // namespace corvane::platform
