// A TCP socket of the test's own on 127.0.0.1 with a port the system chose.
#pragma once

namespace testsupport {

// Bound but not listening: connections to the port are refused. -1 when it fails.
int BindLoopback(int& port);
// Bound and listening. -1 when it fails.
int ListenOnLoopback(int& port);

}  // namespace testsupport
