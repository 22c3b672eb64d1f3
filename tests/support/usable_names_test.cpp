// Which part names a file can carry on every platform, and which name a device.
#include "support/support.hpp"

#include <gtest/gtest.h>
#include <string>

TEST(UsableFileName, EmptyDotsAndControlBytesAreNot)
{
    struct row {
        std::string name;
        bool usable;
    };

    const row rows[] = {
        {"", false},     {".", false},       {"..", false},     {"...", false},
        {". .", false},  {" ", false},       {"a\x01z", false}, {"tab\there", false},
        {"\x1f", false}, {"a", true},        {".cfg", true},    {"a.", true},
        {"\x7f", true},  {"\x95\x5c", true}, {"CON", true},  // a device, but a file name
    };
    for (const row &r : rows)
        EXPECT_EQ(is_usable_file_name(r.name.c_str()), r.usable) << r.name;
}

TEST(DeviceNameLength, DeviceBeforeTheFirstDotInAnyCase)
{
    struct row {
        const char *name;
        std::size_t length;
    };

    const row rows[] = {
        {"CON", 3},          {"con.txt", 3},  {"Nul.tar.gz", 3}, {"aux", 3},      {"PRN.", 3},
        {"com1", 4},         {"COM0.gif", 4}, {"lpt9.x", 4},     {"con .txt", 4}, {"CONIN$", 6},
        {"conout$.log", 7},  {"com10", 0},    {"console", 0},    {"icon", 0},     {"COM", 0},
        {"lpt", 0},          {"a.con", 0},    {"con_0001", 0},   {"", 0},         {" con", 0},
        {"nul_0001.htm", 0},
    };
    for (const row &r : rows)
        EXPECT_EQ(device_name_length(r.name), r.length) << r.name;
}
