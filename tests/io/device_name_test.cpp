// The names Windows keeps for devices, on every system (the rule is plain text handling).
#include <gtest/gtest.h>

#include "io/file_system.h"

namespace zelvio {
namespace {

TEST(DeviceName, WindowsReservesItsDeviceNamesWithAnyExtensionAndCase) {
    const struct {
        const char* name;
        bool reserved;
    } cases[] = {
        {"NUL", true},
        {"nul", true},
        {"CON", true},
        {"aux.pdb", true},
        {"Aux.tar.gz", true},
        {"prn.", true},
        {"com1", true},
        {"LPT9.wav", true},
        {"COM0", true},
        {"com1 .txt", true},
        {"CONIN$", true},
        {"conout$.log", true},
        {"folder/aux.pdb", true},
        {"nul1", false},
        {"auxiliary.pdb", false},
        {"com10", false},
        {"comx", false},
        {"LPT", false},
        {".aux", false},
        {"con_talk.pdb", false},
        {"talk.aux", false},
        {"", false},
        {"aux/talk.pdb", false},  // only the last part names the file
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(isWindowsDeviceName(c.name), c.reserved);
    }
}

TEST(DeviceName, OnlyWindowsRefusesThem) {
#ifdef _WIN32
    EXPECT_TRUE(isReservedName("aux.pdb"));
#else
    EXPECT_FALSE(isReservedName("aux.pdb"));  // an ordinary name on POSIX systems
#endif
    EXPECT_FALSE(isReservedName("talk.pdb"));
    EXPECT_EQ(reservedNameText("out/NUL.pdb"),
              "\"NUL.pdb\" is a device name Windows reserves: choose another name");
}

}  // namespace
}  // namespace zelvio
