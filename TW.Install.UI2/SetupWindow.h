#pragma once
// The setup window: a white frame with an installing page and a finished
// page, and the state that the install thread hands to it.
#include "SString.h"

extern HWND frameWindow;
extern HWND installingPage;
extern HWND finishedPage;
extern HWND currentPage;
// Command line of the installed application to start after a successful
// install; written by the install thread before it posts msgThreadEnd.
extern SString pendingStartCommand;
extern UINT msgThreadEnd;
extern UINT msgThreadError;

// One control of a page.
class DialogItem
{
public:
    explicit DialogItem(HWND control) : m_control(control) {}
    DialogItem(HWND dialog, int id) : m_control(::GetDlgItem(dialog, id)) {}

    void SetNLSText(const wchar_t* key) const;
    void SetTitleFont() const;
    void SetBigTitleFont() const;

private:
    HWND m_control;
};

// A table text with each backslash-n pair turned into a line break, for
// showing in a window.
SString WithLineBreaks(const SString& text);
void UpdatePage();
INT_PTR CALLBACK SetupDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Creates the frame and pages, starts the install and runs the message loop;
// returns the exit code.
int RunSetupWindow();
