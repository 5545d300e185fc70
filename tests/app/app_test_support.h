#pragma once
// Helpers for the app tests: a temporary folder of the test's own (TestTempFolder, writeBytes,
// readBytes), and environment variables set for the length of one test.

#include "support/scoped_environment.h"
#include "support/temp_folder.h"
