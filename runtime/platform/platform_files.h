// Platform services: files, directories, processes and the machine identifier.
#pragma once

namespace corvane::platform {

} // namespace corvane::platform
