// A fixture for tests that call Media Foundation: COM (multithreaded apartment) and Media
// Foundation are started around each suite, as the agent's entry point starts them once for
// its whole life. The code under test never starts them itself.
#pragma once

#include <windows.h>
#include <mfapi.h>
#include <objbase.h>

#include <gtest/gtest.h>

namespace orbelune::testing {

class MediaFoundationTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        ASSERT_TRUE(SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_LITE)));
    }
    static void TearDownTestSuite() {
        MFShutdown();
        CoUninitialize();
    }
};

}  // namespace orbelune::testing
