// The boxes a trial meets and how each is answered (see boxes.h).
#include "trial/boxes.h"

#include "trial/screens.h"

#include "setupcontrols.h"

#include <stdlib.h>

namespace
{

// The captions of the shell's own message boxes; each of them ends the setup.
const char *const kShellCaptions[] = {SETUP_BOX_CAPTION, SETUP_WINDOW_CAPTION,
                                      SETUP_DIALOG_CAPTION};

constexpr unsigned kWmClose = 0x0010;
constexpr unsigned kDmGetDefId = 0x0400;
constexpr unsigned kDcHasDefId = 0x534B;
constexpr long long kDefPushButton = 0x1;
constexpr int kIdCancel = 2;

// Waits, in seconds.
constexpr double kButtonsWait = 2; // a dialog without buttons yet
constexpr double kRetry = 3;       // a box answered again while it stays
constexpr double kGiveUp = 15;     // a box that stays that long after its answer

bool IsNull(const std::string &handle)
{
    return strtoull(handle.c_str(), nullptr, 16) == 0;
}

// Presses button `id`; a dialog without one is asked to close.
void Press(const TopWindow &top, int id, Operator &op)
{
    if (id >= 0)
        op.Press(top.frame.hwnd, id);
    else
        op.Post(top.frame.hwnd, kWmClose);
}

int AskedAnswerId(const TopWindow &top, Operator &op)
{
    return AnswerId(top, op.Send(top.frame.hwnd, kDmGetDefId));
}

} // namespace

bool IsBox(const TopWindow &top, long long demoPid)
{
    bool demoWindow = demoPid > 0 && top.frame.pid == demoPid && IsNull(top.frame.owner);
    return top.frame.visible && top.IsDialog() && !demoWindow && !top.IsPresentation() &&
           !top.IsStatus(SETUP_PREPARING_TEXT) && !top.IsStatus(SETUP_SHORTCUTS_TEXT);
}

bool IsShellError(const TopWindow &top, long long setupPid)
{
    if (top.frame.pid != setupPid || top.Buttons().size() != 1)
        return false;
    for (const char *caption : kShellCaptions)
        if (top.frame.text == caption)
            return true;
    return false;
}

BoxOwner OwnerOf(const TopWindow &top, const SetupProcess &process)
{
    if (top.frame.pid == process.setupPid)
        return BoxOwner::Setup;
    return process.demoPid > 0 && top.frame.pid == process.demoPid ? BoxOwner::Demonstration
                                                                   : BoxOwner::Other;
}

int AnswerId(const TopWindow &top, const std::string &defaultReply)
{
    std::vector<const Window *> buttons = top.Buttons();
    JsonFields fields;
    if (ParseJsonLine(defaultReply.substr(0, defaultReply.find('\n')), &fields) &&
        fields.Has("result")) {
        unsigned long long value = static_cast<unsigned long long>(fields.Number("result"));
        int id = static_cast<int>(value & 0xFFFF);
        // Wine's message boxes name IDOK even when they have no such button.
        for (const Window *button : buttons)
            if (((value >> 16) & 0xFFFF) == kDcHasDefId && button->id == id)
                return id;
    }
    for (const Window *button : buttons)
        if ((button->style & 0xF) == kDefPushButton)
            return button->id;
    if (buttons.size() == 1)
        return buttons[0]->id;
    for (const Window *button : buttons)
        if (button->id == kIdCancel)
            return kIdCancel;
    return buttons.empty() ? -1 : buttons[0]->id;
}

bool Boxes::Answer(const std::vector<TopWindow> &windows, const SetupProcess &process, Operator &op,
                   RunRecord *record)
{
    for (const TopWindow &top : windows) {
        if (!IsBox(top, process.demoPid))
            continue;
        seen_ = true;
        auto known = open_.find(top.frame.hwnd);
        if (known == open_.end()) {
            Open fresh;
            fresh.seen = op.Now();
            known = open_.emplace(top.frame.hwnd, fresh).first;
        }
        Open &box = known->second;
        // A dialog shows its buttons as it appears; one without any gets a moment.
        if (!box.answered && top.Buttons().empty() && op.Now() - box.seen < kButtonsWait)
            continue;
        if (!box.answered) {
            FirstAnswer(top, process, op, record, &box);
            continue;
        }
        if (op.Now() - box.firstAnswer > kGiveUp) {
            op.Problem("box", "the box \"" + top.frame.text + "\" did not go away when answered");
            return false;
        }
        if (op.Now() - box.lastAnswer > kRetry) {
            Press(top, record->boxes[box.index].answer.empty() ? -1 : AskedAnswerId(top, op), op);
            box.lastAnswer = op.Now();
        }
    }
    return true;
}

void Boxes::FirstAnswer(const TopWindow &top, const SetupProcess &process, Operator &op,
                        RunRecord *record, Open *box)
{
    TrialBox met;
    met.caption = top.frame.text;
    met.text = top.StaticTexts();
    met.error = IsShellError(top, process.setupPid);
    met.screenshot = Photographed("box", op, record);
    int id = AskedAnswerId(top, op);
    for (const Window *button : top.Buttons())
        if (button->id == id)
            met.answer = WithoutAmpersands(button->text);
    op.Note("box \"" + met.caption + "\": " + met.text + " -> " +
            (met.answer.empty() ? std::string("closed") : met.answer));
    Press(top, met.answer.empty() ? -1 : id, op);
    box->answered = true;
    box->firstAnswer = box->lastAnswer = op.Now();
    box->index = record->boxes.size();
    record->boxes.push_back(met);
    std::string fault = UnexpectedBoxFault(OwnerOf(top, process), met.caption, met.text);
    if (!fault.empty())
        record->faults.push_back(fault);
    if (met.error) {
        errorAt_ = op.Now();
        op.Problem("box", "setup.exe showed the error \"" + met.text + "\" (" + met.caption + ")");
    }
}
