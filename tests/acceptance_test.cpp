// The program as a player meets it: started from its own folder, seen and answered from outside its process.
#include <gtest/gtest.h>

#include "tests/support/ProgramDriver.h"

namespace {

std::wstring ProgramUnderTest() { return driver::ExeDirectory() + L"..\\Velmora.exe"; }

TEST(AcceptanceTest, StartsOnTheLauncherAndEndsWhenItCloses)
{
    driver::Program program(ProgramUnderTest(), "", L"velmora-acceptance-start");
    ASSERT_TRUE(program.Start());
    HWND launcher = program.WaitForWindow([](const driver::WindowInfo& w) { return w.title == L"Velmora"; });
    ASSERT_NE(launcher, nullptr);
    EXPECT_EQ(::GetWindow(launcher, GW_OWNER), nullptr);
    ::PostMessageW(launcher, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
}

}  // namespace
