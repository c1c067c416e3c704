#include "platform/host/HostRegistry.h"

#include "platform/host/LastError.h"

#include <gtest/gtest.h>

namespace {

struct HostRegistry : ::testing::Test {
    void TearDown() override { hostRegistryClear(); }
};

TEST_F(HostRegistry, EmptyUnlessATestSetsAValue)
{
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\Versions", 0, KEY_READ, &key), LONG(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(key, nullptr);
}

TEST_F(HostRegistry, ValuesReadBackWithTypeAndSize)
{
    const char16_t aku[] = u"5.2";
    hostRegistrySetValue(HKEY_LOCAL_MACHINE, u"SYSTEM\\Versions", u"AKU", REG_SZ, aku, sizeof aku);
    HKEY key = nullptr;
    // Key paths and value names ignore ASCII case.
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"system\\VERSIONS", 0, KEY_READ, &key), LONG(ERROR_SUCCESS));

    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"aku", nullptr, &type, nullptr, &size), LONG(ERROR_SUCCESS));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, sizeof aku);

    char16_t buffer[7] = { u'x', u'x', u'x', u'x', u'x', u'x', u'x' };
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExW(key, u"AKU", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              LONG(ERROR_SUCCESS));
    EXPECT_EQ(size, sizeof aku);
    EXPECT_EQ(std::u16string(buffer), u"5.2");
    EXPECT_EQ(buffer[4], u'x');

    EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, &type, nullptr, &size), LONG(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(RegCloseKey(key), LONG(ERROR_SUCCESS));
    EXPECT_EQ(RegCloseKey(key), LONG(ERROR_INVALID_HANDLE));
    EXPECT_EQ(RegQueryValueExW(key, u"AKU", nullptr, &type, nullptr, &size), LONG(ERROR_INVALID_HANDLE));
}

TEST_F(HostRegistry, ValueLargerThanTheBufferLeavesItUntouched)
{
    const char16_t text[] = u"a long version text";
    hostRegistrySetValue(HKEY_LOCAL_MACHINE, u"SYSTEM\\Versions", u"AKU", REG_SZ, text, sizeof text);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\Versions", 0, KEY_READ, &key), LONG(ERROR_SUCCESS));
    BYTE buffer[14];
    for (BYTE& b : buffer)
        b = 0xAB;
    DWORD size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExW(key, u"AKU", nullptr, nullptr, buffer, &size), LONG(ERROR_MORE_DATA));
    EXPECT_EQ(size, sizeof text);
    for (BYTE b : buffer)
        EXPECT_EQ(b, 0xAB);
    EXPECT_EQ(RegQueryValueExW(key, u"AKU", nullptr, nullptr, buffer, nullptr), LONG(ERROR_INVALID_PARAMETER));
    RegCloseKey(key);
}

TEST_F(HostRegistry, KeysOpenStepByStep)
{
    const DWORD one = 1;
    hostRegistrySetValue(HKEY_LOCAL_MACHINE, u"A\\B\\C", u"V", REG_DWORD, &one, sizeof one);
    HKEY a = nullptr, c = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"A", 0, KEY_READ, &a), LONG(ERROR_SUCCESS));
    ASSERT_EQ(RegOpenKeyExW(a, u"B\\C", 0, KEY_READ, &c), LONG(ERROR_SUCCESS));
    DWORD value = 0, size = sizeof value, type = 0;
    EXPECT_EQ(RegQueryValueExW(c, u"V", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), LONG(ERROR_SUCCESS));
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(value, 1u);
    HKEY other = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"A", 0, KEY_READ, &other), LONG(ERROR_FILE_NOT_FOUND));
    RegCloseKey(c);
    RegCloseKey(a);
}

} // namespace
