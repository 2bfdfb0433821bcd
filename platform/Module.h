// Where resources come from: the module's own file (dialog templates, bitmaps, icons, cursors) and
// the language library (texts, menus, voice prompts), with the module as fallback.
#pragma once

#include <windows.h>

#include <string>

namespace platform {

// The module that holds the templates and bitmaps; set once when the DLL (or a test program) starts.
HINSTANCE ResourceModule() noexcept;
void SetResourceModule(HINSTANCE module) noexcept;

// The language library; null until loaded (texts then come from the resource module).
HINSTANCE LanguageModule() noexcept;
void SetLanguageModule(HINSTANCE module) noexcept;

// Text of a string identifier, language library first; an identifier without a text yields "".
std::string LoadText(UINT id);

// Menu resource by identifier, language library first; null when neither has it.
HMENU LoadMenuResource(UINT id);

// Message box whose text is a string identifier.
int MessageBoxId(HWND owner, UINT textId, UINT flags = MB_OK | MB_ICONEXCLAMATION);

} // namespace platform
