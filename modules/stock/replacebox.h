// The stock module's replace question: a file to install exists already.
// A message box holds at most three buttons; this one has five, so that an
// upgrade of many files is answered once.
#pragma once

#include <windows.h>

enum class ReplaceAnswer { Yes, YesToAll, No, NoToAll, Cancel };

// Shows `text` in a modal dialog owned by `owner`, captioned `caption`, with
// Yes, Yes to All, No, No to All and Cancel; Escape and a failed dialog are
// Cancel.
ReplaceAnswer AskReplace(HWND owner, const char *caption, const char *text);
