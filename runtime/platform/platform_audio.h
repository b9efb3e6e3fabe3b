// Platform services: the sound mixer: chunks, voices, volume, pan and music.
#pragma once

namespace corvane::platform {

} // namespace corvane::platform
