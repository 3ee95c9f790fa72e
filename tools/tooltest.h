#pragma once
// btrdsn test: the connection test of a stored data source.

namespace btrdsn {

// Connects to the data source named by the one argument (NAME or DSN=NAME) through the driver
// manager and disconnects at once. Each diagnostic record goes to standard error as "[STATE] text";
// the status is 0 when the connection was made, 1 when it failed, 2 on a usage error.
int testDataSource(int argc, char** argv);

} // namespace btrdsn
