#include "platform/host/HostShell.h"

#include "platform/host/LastError.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_opened;
bool g_answer = true;

bool record(const std::string& verb, const std::string& address)
{
    g_opened.push_back(verb + " " + address);
    return g_answer;
}

struct HostShell : ::testing::Test {
    void SetUp() override
    {
        g_opened.clear();
        g_answer = true;
        hostSetShellRecorder(record);
    }
    void TearDown() override { hostSetShellRecorder(nullptr); }
};

SHELLEXECUTEINFO infoFor(const char16_t* verb, const char16_t* file)
{
    SHELLEXECUTEINFO info{};
    info.cbSize = sizeof info;
    info.lpVerb = verb;
    info.lpFile = file;
    info.lpParameters = u"";
    info.nShow = SW_SHOWNORMAL;
    return info;
}

TEST_F(HostShell, OnlyWebAddressesAreOpened)
{
    struct Case {
        const char16_t* verb;
        const char16_t* file;
        bool opens;
    };
    const Case cases[] = {
        { u"open", u"http://example.com/", true },
        { u"open", u"HTTPS://example.com/a?b=c", true },
        { nullptr, u"https://example.com", true },
        { u"open", u"file:///etc/passwd", false },
        { u"open", u"javascript:alert(1)", false },
        { u"open", u"/bin/sh", false },
        { u"open", u"-x http://example.com", false },
        { u"open", u"http://", false },
        { u"open", u"http://a\nb", false },
        { u"edit", u"http://example.com", false },
        { u"open", u"", false },
    };
    for (const Case& c : cases) {
        g_opened.clear();
        SHELLEXECUTEINFO info = infoFor(c.verb, c.file);
        EXPECT_EQ(ShellExecuteEx(&info), c.opens ? TRUE : FALSE);
        EXPECT_EQ(g_opened.size(), c.opens ? 1u : 0u);
        if (!c.opens) {
            EXPECT_EQ(GetLastError(), ERROR_NO_ASSOCIATION);
        }
    }
    g_opened.clear();
    SHELLEXECUTEINFO info = infoFor(u"open", u"https://example.com/x");
    ASSERT_TRUE(ShellExecuteEx(&info));
    ASSERT_EQ(g_opened.size(), 1u);
    EXPECT_EQ(g_opened[0], "open https://example.com/x");
}

TEST_F(HostShell, FailureOfTheOpenerIsReported)
{
    g_answer = false;
    SHELLEXECUTEINFO info = infoFor(u"open", u"http://example.com/");
    EXPECT_FALSE(ShellExecuteEx(&info));
    EXPECT_EQ(g_opened.size(), 1u);
}

TEST_F(HostShell, MalformedRequestsAreRefused)
{
    EXPECT_FALSE(ShellExecuteEx(nullptr));
    SHELLEXECUTEINFO info = infoFor(u"open", u"http://example.com/");
    info.cbSize = 12;
    EXPECT_FALSE(ShellExecuteEx(&info));
    info = infoFor(u"open", nullptr);
    EXPECT_FALSE(ShellExecuteEx(&info));
    EXPECT_TRUE(g_opened.empty());
}

} // namespace
