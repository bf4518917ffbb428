#pragma once

namespace gandry::rig {

// A loopback port that nothing listens on just now, for a test service to listen on.
unsigned short FreeLoopbackPort();

}  // namespace gandry::rig
