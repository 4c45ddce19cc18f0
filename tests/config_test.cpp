// config.ini beside the executable: one table of what the publisher may write, the bad files a player's
// machine may hold, and an executable deeper than MAX_PATH.
#include <gtest/gtest.h>

#include <windows.h>

#include <random>
#include <string>

#include "app/Config.h"

namespace {

std::wstring ExeDirectory()
{
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L'\\') + 1);
}

std::wstring ConfigPath() { return ExeDirectory() + L"config.ini"; }

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(f);
    ASSERT_EQ(written, bytes.size());
}

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override { ::DeleteFileW(ConfigPath().c_str()); }
    void TearDown() override { ::DeleteFileW(ConfigPath().c_str()); }
};

struct ConfigCase {
    const char* name;
    const char* file;  // null: no config.ini at all
    const wchar_t* key;
    std::wstring expected;
};

TEST_F(ConfigTest, ValuesAsThePublisherWritesThem)
{
    const std::string longValue(600, 'v');
    const ConfigCase cases[] = {
        {"no file", nullptr, L"home_url", L"error"},
        {"no section", "[other]\r\nhome_url=http://a/\r\n", L"home_url", L"error"},
        {"no key", "[pexo]\r\nforum_url=http://f/\r\n", L"home_url", L"error"},
        {"plain value", "[pexo]\r\nhome_url=http://home.example/\r\n", L"home_url", L"http://home.example/"},
        {"literal error", "[pexo]\r\nhome_url=error\r\n", L"home_url", L"error"},
        {"capital ERROR is a value", "[pexo]\r\nhome_url=ERROR\r\n", L"home_url", L"ERROR"},
        {"switched off", "[pexo]\r\nhome_url=##\r\n", L"home_url", L"##"},
        {"empty value", "[pexo]\r\nfullscn_key=\r\n", L"fullscn_key", L""},
        {"double quotes removed", "[pexo]\r\nclient_web=\"http://q/x y\"\r\n", L"client_web", L"http://q/x y"},
        {"single quotes removed", "[pexo]\r\nclient_web='http://q/'\r\n", L"client_web", L"http://q/"},
        {"other letter case", "[PEXO]\r\nHome_URL=http://case/\r\n", L"home_url", L"http://case/"},
        // What the README tells publishers: comments on lines of their own, never after a value.
        {"comment lines skipped", "[pexo]\r\n; home_url=http://no/\r\nhome_url=http://yes/\r\n", L"home_url", L"http://yes/"},
        {"text after a value is the value", "[pexo]\r\nhome_url=http://h/ ; off\r\n", L"home_url", L"http://h/ ; off"},
        {"other sections ignored", "[a]\r\nhome_url=x\r\n[pexo]\r\nhome_url=y\r\n[b]\r\nhome_url=z\r\n", L"home_url", L"y"},
        {"600 characters cut to 511", nullptr, L"home_url", std::wstring(511, L'v')},
    };
    for (const ConfigCase& c : cases) {
        SCOPED_TRACE(c.name);
        ::DeleteFileW(ConfigPath().c_str());
        if (c.file) WriteBytes(ConfigPath(), c.file);
        else if (c.expected.size() == 511) WriteBytes(ConfigPath(), "[pexo]\r\nhome_url=" + longValue + "\r\n");
        CString value = ReadConfigValue(c.key);
        EXPECT_EQ(std::wstring(value), c.expected);
    }
}

// Paths too long for the profile functions go in the extended form of their own kind (for paths that do not
// exist there is no short form to prefer).
TEST(ConfigPath, LongPathsTakeTheExtendedFormOfTheirKind)
{
    const std::wstring deep = L"\\nowhere-" + std::wstring(300, L'd') + L"\\config.ini";
    struct Case { const char* name; std::wstring path, expected; };
    const Case cases[] = {
        {"short path unchanged", L"C:\\games\\config.ini", L"C:\\games\\config.ini"},
        {"long drive path", L"C:" + deep, L"\\\\?\\C:" + deep},
        {"long network path", L"\\\\server\\share" + deep, L"\\\\?\\UNC\\server\\share" + deep},
        {"already extended", L"\\\\?\\C:" + deep, L"\\\\?\\C:" + deep},
        {"already extended network", L"\\\\?\\UNC\\server\\share" + deep, L"\\\\?\\UNC\\server\\share" + deep},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(config_detail::UsablePath(c.path), c.expected);
    }
}

TEST_F(ConfigTest, ChangedValueIsReadAtTheNextCall)
{
    WriteBytes(ConfigPath(), "[pexo]\r\nhome_url=http://first/\r\n");
    EXPECT_STREQ(ReadConfigValue(L"home_url"), L"http://first/");
    WriteBytes(ConfigPath(), "[pexo]\r\nhome_url=http://second/\r\n");
    EXPECT_STREQ(ReadConfigValue(L"home_url"), L"http://second/");
    ::DeleteFileW(ConfigPath().c_str());
    EXPECT_STREQ(ReadConfigValue(L"home_url"), L"error");
}

TEST_F(ConfigTest, WorkingDirectoryPlaysNoPart)
{
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(temp) + L"velmora-cwd-test\\";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    WriteBytes(dir + L"config.ini", "[pexo]\r\nhome_url=http://cwd/\r\n");
    wchar_t previous[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ::SetCurrentDirectoryW(dir.c_str());
    CString value = ReadConfigValue(L"home_url");
    ::SetCurrentDirectoryW(previous);
    ::DeleteFileW((dir + L"config.ini").c_str());
    ::RemoveDirectoryW(dir.c_str());
    EXPECT_STREQ(value, L"error");
    EXPECT_EQ(std::wstring(GetModuleDirectory()), ExeDirectory());
}

TEST_F(ConfigTest, BadFilesGiveNoCrashAndLoseNothing)
{
    // Random bytes: whatever comes back is a bounded string.
    std::mt19937 random(20261211);
    std::string noise(64 * 1024, '\0');
    for (char& b : noise) b = static_cast<char>(random());
    WriteBytes(ConfigPath(), noise);
    EXPECT_LE(ReadConfigValue(L"home_url").GetLength(), 511);

    // UTF-16 with byte-order mark: read as text, Chinese included.
    std::wstring wide = L"\xFEFF[pexo]\r\nhome_url=http://例子.测试/首页\r\n";
    WriteBytes(ConfigPath(), std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t)));
    EXPECT_STREQ(ReadConfigValue(L"home_url"), L"http://例子.测试/首页");

    // 10 MB of other sections before ours: the value is still found.
    std::string big;
    big.reserve(10 * 1024 * 1024 + 64);
    for (int i = 0; big.size() < 10u * 1024 * 1024; ++i) big += "[s" + std::to_string(i) + "]\r\nkey=" + std::string(100, 'x') + "\r\n";
    big += "[pexo]\r\nforum_url=http://after-ten-megabytes/\r\n";
    WriteBytes(ConfigPath(), big);
    EXPECT_STREQ(ReadConfigValue(L"forum_url"), L"http://after-ten-megabytes/");
}

}  // namespace
