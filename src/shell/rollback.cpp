#include "shell/rollback.h"

#include <windows.h>

#include "copy/installed.h"
#include "copy/replace.h"
#include "core/context.h"
#include "core/log.h"
#include "record/journalfile.h"
#include "record/registration.h"
#include "record/undo.h"
#include "setupcontrols.h"
#include "setupmodule.h"
#include "shell/keep.h"
#include "util/text.h"

namespace
{

constexpr size_t kRestartTextSize = 4096;

void Places(RecordPlaces *places)
{
    FindRecordPlaces(places);
}

// Setup's own journal: read back from the disk, as any other would be, and
// undone or finished with this run's Windows folder among its places.
void SettleOwnJournal(bool complete)
{
    char folder[kPathSize];
    CopyText(folder, JournalFolder());
    if (!folder[0])
        return;
    Journal *journal = NewJournal();
    bool missing = false;
    JournalRead read = journal ? ReadJournalFile(folder, journal, &missing) : JOURNAL_BAD_HEADER;
    if (read != JOURNAL_OK) {
        LogLine("journal %.259s: %s; nothing undone", folder, JournalReadMeaning(read));
        FreeJournal(journal);
        return;
    }
    RecordPlaces places;
    Places(&places);
    if (complete) {
        FinishJournal(journal, folder, places, g_setup.windowsDir, LogLine);
    } else {
        LogLine("undoing the installation: %d changes", journal->count);
        UndoCounts counts = UndoJournal(journal, folder, places, g_setup.windowsDir, LogLine);
        LogLine("undo: %d changes taken back, %d at the next restart, %d not", counts.undone,
                counts.scheduled, counts.kept);
    }
    FreeJournal(journal);
}

void TellRestart()
{
    int count = RestartCount();
    if (count == 0)
        return;
    char *text = static_cast<char *>(HeapAlloc(GetProcessHeap(), 0, kRestartTextSize));
    if (!text)
        return;
    CopyText(text, kRestartTextSize,
             "A restart completes the installation. These files are in use and are replaced "
             "when Windows starts again:\n");
    for (int i = 0; i < count; ++i) {
        LogLine("file %.259s: in use, replaced at the next restart", RestartPath(i));
        if (AppendText(text, kRestartTextSize, "\n") < 0 ||
            AppendText(text, kRestartTextSize, RestartPath(i)) < 0)
            break;
    }
    TellOrLog(g_setup.mainWindow, text, SETUP_BOX_CAPTION);
    HeapFree(GetProcessHeap(), 0, text);
}

} // namespace

void SettleEarlierInstallation()
{
    RecordPlaces places;
    Places(&places);
    UndoCounts counts = {};
    if (SettleEarlierJournal(g_setup.destDir, places, LogLine, &counts) != EARLIER_ROLLED_BACK)
        return;
    char text[kPathSize + 160];
    if (CopyText(text, "An earlier installation into ") < 0 ||
        AppendText(text, g_setup.destDir) < 0 ||
        AppendText(text, " did not finish. Setup has undone its changes and goes on.") < 0)
        CopyText(text, "An earlier installation did not finish. Setup has undone its changes.");
    // Silently the log has said it already.
    if (!RunsSilently())
        TellOrLog(g_setup.mainWindow, text, SETUP_BOX_CAPTION);
}

void StartInstallationJournal()
{
    if (!StartJournal(g_setup.destDir)) {
        LogLine("journal: cannot be written in %.259s; this installation cannot be undone",
                g_setup.destDir);
        return;
    }
    LogLine("journal: %.259s\\%s", g_setup.destDir, kJournalFileName);
    InstalledItem item = {};
    item.size = sizeof item;
    for (int n = 0; FillInstalledItem(n, &item); ++n) {
        if (item.kind == INSTALLED_FOLDER)
            WriteJournal(JOURNAL_DIR, item.path);
    }
}

void CompleteInstallation()
{
    if (JournalStarted()) {
        // Complete either way: a journal whose end could not be written is
        // finished here all the same, and goes with the files kept aside.
        if (!CloseJournalComplete())
            LogLine("journal: the installation's end cannot be written");
        SettleOwnJournal(true);
    }
    TellRestart();
}

void UndoUnfinishedInstallation()
{
    if (!JournalStarted())
        return;
    CloseJournal();
    SettleOwnJournal(false);
}
