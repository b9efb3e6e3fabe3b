// Platform services: keyboard, mouse, joysticks and force feedback.
#pragma once

namespace corvane::platform {

} // namespace corvane::platform
