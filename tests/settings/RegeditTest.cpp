#include "settings/Regedit.h"
#include "TempDir.h"

#include <gtest/gtest.h>

TEST(Regedit, WritesAndReadsBack)
{
    TempDir dir;
    Regedit store(dir.file("s.db"));
    store.SaveString(HKEY_LOCAL_MACHINE, "Software\\Velmora", "Min", "1");
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, "software\\velmora\\", "MIN"), QString("1"));
}
