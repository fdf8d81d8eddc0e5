#include "Journal.h"

#include <gtest/gtest.h>

#include "EngineHarness.h"
#include "MutatedInput.h"

TEST(InstallJournal, MutatedJournalsEndInRecordsNeverPastTheBytes)
{
    std::string journal = Utf16Bytes(L"folder\tC:\\P\t\t\r\nfile\tC:\\P\\a.exe\tnew\t\r\n"
                                     L"key\tHKCU\tSoftware\\Classes\\tarnwick\tSoftware\\Tarnwick Setup Rollback\\1-2-3\r\n"
                                     L"plugin\tC:\\P\\NPTW3D.dll\t0\t\r\ncommit\t\t\t\r\n");
    Mutator mutator(21);
    int read = mutator.Run({journal}, 100000, [](const BYTE* bytes, DWORD size) {
        std::vector<JournalRecord> records;
        ParseJournal(bytes, size, records);
        for (const JournalRecord& record : records)
            if (record.Count() < 1)
                return false;
        return !records.empty();
    });
    EXPECT_GT(read, 0);
}
