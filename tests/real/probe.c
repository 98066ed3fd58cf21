// SPDX-License-Identifier: MIT
/* Loader probe: maps an executable as a data file and prints its menus,
 * dialogs and string tables as the Windows API builds them, one UTF-8 line
 * per fact.
 *
 *   probe TARGET
 *   probe --measure TARGET   the drawn widths of the dialogs' control titles
 *   probe --locales TAG...   the id LocaleNameToLCID gives each tag
 *   probe --hold    keeps the desktop up for a test run (see hold_desktop)
 *
 * Menus go through LoadMenuIndirectW and GetMenuItemInfoW; dialogs through
 * CreateDialogIndirectParamW, with the texts, classes, ids and styles of the
 * dialog window and its controls and the face name of the dialog font;
 * strings as LoadStringW reads them, from the block FindResourceExW finds
 * for each language (LoadStringW itself picks one language only).
 * Controls of the class "FixtureWidget" report the creation data they were
 * given. Version information goes through VerQueryValueW on a writable copy
 * of each version resource, as GetFileVersionInfoW would hand it over: the
 * fixed information, the translations of \VarFileInfo\Translation and,
 * for each, the standard keys of its \StringFileInfo block that are there.
 * Messages go through FormatMessageW (from the module, inserts ignored) in
 * the language of each message table named 1, for every id of its blocks;
 * the ids are read from the table itself. A message table of another name,
 * which FormatMessageW does not reach, is printed from its entries (ANSI
 * ones converted from the ANSI code page, as FormatMessageW does).
 * The printout of an original and of a rewritten image can be compared line
 * by line. Exit status: 0 printed, 2 the target did not load.
 *
 * Output format (indentation by two blanks per menu level):
 *   menu NAME lang=LLLL
 *     item POS id=N type=0xT state=0xS [popup ]text="..."
 *   dialog NAME lang=LLLL
 *     window class="..." style=0x.. exstyle=0x.. text="..." menu=N
 *     font face="..." height=N weight=N italic=N charset=N | font none
 *     control id=N class="..." style=0x.. exstyle=0x.. text="..." [data=...]
 *   or: dialog NAME lang=LLLL failed error=N
 *   string id=N lang=LLLL text="..."     (all 16 strings of every block)
 *   or: string id=N lang=LLLL beyond the block   (and the block ends there)
 *   version NAME lang=LLLL file=A.B.C.D product=A.B.C.D
 *     (or: version NAME lang=LLLL fixed none)
 *   version NAME lang=LLLL translation=LLLLCCCC     (or: translation none)
 *   version NAME lang=LLLL block=LLLLCCCC key=KEY text="..."
 *     (per translation, in the order of the translations, for each of
 *     CompanyName FileDescription FileVersion InternalName LegalCopyright
 *     OriginalFilename ProductName ProductVersion Comments PrivateBuild
 *     SpecialBuild LegalTrademarks that the block holds)
 *   or: version NAME lang=LLLL failed error=N
 *   message id=0xNNNNNNNN lang=LLLL text="..."    (table 1, every id)
 *   or: message id=0xNNNNNNNN lang=LLLL failed error=N
 *   message NAME id=0xNNNNNNNN lang=LLLL text="..."    (any other table)
 *   messages NAME lang=LLLL damaged        (a block or an entry runs past
 *                                          the table: the table ends there)
 * All lines of a module come in this order: menus, dialogs, strings,
 * versions, messages; each kind by name, then language, as the resource
 * directory lists them. Version texts end at their first zero unit; message
 * texts are whole, with the line ends of the table.
 * Texts are escaped: \\ \" \t \n \r and \xHH for other control characters.
 *
 * With --measure, only dialogs are created, and each control with a title
 * prints one line instead (all sizes in pixels):
 *   measure NAME lang=LLLL id=N class="..." style=0x.. width=W cx=CX cy=CY
 *     line=H wrapped=WH base=BX,BY
 * width: the widest line of the title as GetTextExtentPoint32W measures it
 * in the control's font, a single & not drawn and && drawn as one (unless
 * the static has SS_NOPREFIX); cx, cy: the control's client size; line: the
 * font's height; wrapped: the height DrawTextW gives the title broken into
 * words at the client width; base: the dialog's base units (MapDialogRect
 * of 4 by 8 units). */
/* windows.h first: the other Windows headers build on its types. */
/* clang-format off */
#include <windows.h>
#include <commctrl.h>
/* clang-format on */
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#define MAX_TEXT 1024
#define MAX_WIDGETS 64

/* --- Output ------------------------------------------------------------ */

static void put_utf8(const wchar_t* text) {
  char buffer[4 * MAX_TEXT];
  int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer,
                                   NULL, NULL);
  if (length > 1) fwrite(buffer, 1, (size_t)length - 1, stdout);
}

static void put_ascii(const char* text) { fputs(text, stdout); }

/* Writes LABEL="..." for `length` units of `text` with the escapes listed
 * above, in pieces, so that a text of any length (a string of a string
 * table holds up to 65535 units, zero units among them) comes out whole. */
static void put_quoted_units(const char* label, const wchar_t* text,
                             size_t length) {
  wchar_t escaped[MAX_TEXT + 8];
  size_t out = 0;
  printf(" %s=\"", label);
  for (size_t i = 0; i < length; ++i) {
    wchar_t c = text[i];
    if (c == L'\\' || c == L'"') {
      escaped[out++] = L'\\';
      escaped[out++] = c;
    } else if (c == L'\t' || c == L'\n' || c == L'\r') {
      escaped[out++] = L'\\';
      escaped[out++] = c == L'\t' ? L't' : c == L'\n' ? L'n' : L'r';
    } else if (c < 0x20) {
      out += (size_t)swprintf(escaped + out, 8, L"\\x%02X", (unsigned)c);
    } else {
      escaped[out++] = c;
    }
    /* A surrogate pair stays in one piece: each piece converts alone. */
    BOOL pair =
        IS_HIGH_SURROGATE(c) && i + 1 < length && IS_LOW_SURROGATE(text[i + 1]);
    if (out >= MAX_TEXT && !pair) {
      escaped[out] = 0;
      put_utf8(escaped);
      out = 0;
    }
  }
  escaped[out] = 0;
  put_utf8(escaped);
  put_ascii("\"");
}

static void put_quoted(const char* label, const wchar_t* text) {
  put_quoted_units(label, text, wcslen(text));
}

static void put_name(LPCWSTR name) {
  if (IS_INTRESOURCE(name)) {
    printf("#%u", (unsigned)(ULONG_PTR)name);
  } else {
    put_utf8(name);
  }
}

/* --- Creation data of FixtureWidget controls --------------------------- */

/* Filled while a dialog is created: the window and the first text of the
 * creation data it received (the count unit, then UTF-16 units). */
struct WidgetData {
  HWND window;
  unsigned count;
  wchar_t text[MAX_TEXT];
};
static struct WidgetData widgets[MAX_WIDGETS];
static int widget_count;

static void record_creation_data(HWND window, const WORD* data) {
  if (widget_count == MAX_WIDGETS) return;
  struct WidgetData* widget = &widgets[widget_count++];
  widget->window = window;
  widget->count = data ? data[0] : 0;
  widget->text[0] = 0;
  if (!data) return;
  /* At most count / 2 units follow the count unit under either reading of
   * the count (data bytes alone, or data bytes plus the count unit). */
  size_t limit = data[0] / 2;
  size_t i = 0;
  for (; i < limit && i + 1 < MAX_TEXT && data[1 + i]; ++i) {
    widget->text[i] = data[1 + i];
  }
  widget->text[i] = 0;
}

static const struct WidgetData* find_widget(HWND window) {
  for (int i = 0; i < widget_count; ++i) {
    if (widgets[i].window == window) return &widgets[i];
  }
  return NULL;
}

static LRESULT CALLBACK widget_proc(HWND window, UINT message, WPARAM wparam,
                                    LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const CREATESTRUCTW* create = (const CREATESTRUCTW*)lparam;
    record_creation_data(window, (const WORD*)create->lpCreateParams);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

/* --- Menus --------------------------------------------------------------- */

static void print_menu_items(HMENU menu, int depth) {
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    wchar_t text[MAX_TEXT] = {0};
    MENUITEMINFOW info = {0};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = MAX_TEXT - 1;
    printf("%*s", 2 * depth, "");
    if (!GetMenuItemInfoW(menu, (UINT)i, TRUE, &info)) {
      printf("item %d failed error=%lu\n", i, GetLastError());
      continue;
    }
    /* A classic popup has no id of its own: its handle stands in for one
     * and changes from run to run. */
    if (info.hSubMenu && info.wID == (UINT)(UINT_PTR)info.hSubMenu) {
      printf("item %d id=handle", i);
    } else {
      printf("item %d id=%u", i, info.wID);
    }
    printf(" type=0x%X state=0x%X%s", info.fType, info.fState,
           info.hSubMenu ? " popup" : "");
    put_quoted("text", text);
    put_ascii("\n");
    if (info.hSubMenu) print_menu_items(info.hSubMenu, depth + 1);
  }
}

static void print_menu(HMODULE module, LPCWSTR name, WORD language) {
  put_ascii("menu ");
  put_name(name);
  printf(" lang=%04X\n", language);
  HRSRC found = FindResourceExW(module, (LPCWSTR)RT_MENU, name, language);
  HMENU menu =
      found ? LoadMenuIndirectW(LockResource(LoadResource(module, found)))
            : NULL;
  if (!menu) {
    printf("  failed error=%lu\n", GetLastError());
    return;
  }
  print_menu_items(menu, 1);
  DestroyMenu(menu);
}

/* --- Dialogs ------------------------------------------------------------- */

static INT_PTR CALLBACK dialog_proc(HWND dialog, UINT message, WPARAM wparam,
                                    LPARAM lparam) {
  (void)dialog;
  (void)wparam;
  (void)lparam;
  return message == WM_INITDIALOG;
}

static void print_window(const char* kind, HWND window) {
  wchar_t text[MAX_TEXT] = {0};
  wchar_t class_name[256] = {0};
  GetWindowTextW(window, text, MAX_TEXT);
  GetClassNameW(window, class_name, 256);
  printf("  %s", kind);
  if (window != NULL && strcmp(kind, "control") == 0) {
    printf(" id=%d", GetDlgCtrlID(window));
  }
  put_quoted("class", class_name);
  printf(" style=0x%08lX exstyle=0x%08lX",
         (unsigned long)GetWindowLongW(window, GWL_STYLE),
         (unsigned long)GetWindowLongW(window, GWL_EXSTYLE));
  put_quoted("text", text);
}

static void print_font(HWND dialog) {
  HFONT font = (HFONT)SendMessageW(dialog, WM_GETFONT, 0, 0);
  LOGFONTW description;
  if (!font || !GetObjectW(font, sizeof description, &description)) {
    put_ascii("  font none\n");
    return;
  }
  put_ascii("  font");
  put_quoted("face", description.lfFaceName);
  printf(" height=%ld weight=%ld italic=%u charset=%u\n", description.lfHeight,
         description.lfWeight, description.lfItalic, description.lfCharSet);
}

static BOOL CALLBACK print_control(HWND control, LPARAM unused) {
  (void)unused;
  print_window("control", control);
  const struct WidgetData* widget = find_widget(control);
  if (widget) {
    printf(" data=%u", widget->count);
    put_quoted("datatext", widget->text);
  }
  put_ascii("\n");
  return TRUE;
}

/* Set by --measure: dialogs print the measure lines only. */
static BOOL measure_mode;

struct MeasureContext {
  LPCWSTR name;
  WORD language;
  HWND dialog;
  int base_x, base_y;
};

/* `text` as drawn: a single & dropped, && as one, unless `prefix` is off. */
static void drawn_text(const wchar_t* text, BOOL prefix, wchar_t* out) {
  size_t at = 0;
  for (size_t i = 0; text[i]; ++i) {
    if (prefix && text[i] == L'&') {
      if (text[i + 1] != L'&') continue;
      ++i;
    }
    out[at++] = text[i];
  }
  out[at] = 0;
}

/* The widest line of `text`, lines ending at LF (a CR before it dropped). */
static int widest_line(HDC dc, const wchar_t* text) {
  int widest = 0;
  const wchar_t* line = text;
  for (;;) {
    const wchar_t* end = wcschr(line, L'\n');
    size_t length = end ? (size_t)(end - line) : wcslen(line);
    if (length > 0 && line[length - 1] == L'\r') --length;
    SIZE size = {0, 0};
    if (length > 0 && GetTextExtentPoint32W(dc, line, (int)length, &size) &&
        size.cx > widest) {
      widest = size.cx;
    }
    if (!end) return widest;
    line = end + 1;
  }
}

static BOOL CALLBACK measure_control(HWND control, LPARAM context_value) {
  const struct MeasureContext* context =
      (const struct MeasureContext*)context_value;
  wchar_t text[MAX_TEXT] = {0};
  wchar_t drawn[MAX_TEXT] = {0};
  wchar_t class_name[256] = {0};
  GetWindowTextW(control, text, MAX_TEXT);
  if (!text[0]) return TRUE;
  GetClassNameW(control, class_name, 256);
  LONG style = GetWindowLongW(control, GWL_STYLE);
  BOOL prefix =
      !(_wcsicmp(class_name, L"Static") == 0 && (style & SS_NOPREFIX) != 0);
  drawn_text(text, prefix, drawn);
  HFONT font = (HFONT)SendMessageW(control, WM_GETFONT, 0, 0);
  if (!font) font = (HFONT)SendMessageW(context->dialog, WM_GETFONT, 0, 0);
  HDC dc = GetDC(control);
  HGDIOBJ old = font ? SelectObject(dc, font) : NULL;
  TEXTMETRICW metrics = {0};
  GetTextMetricsW(dc, &metrics);
  RECT client = {0, 0, 0, 0};
  GetClientRect(control, &client);
  int width = widest_line(dc, drawn);
  RECT wrapped = {0, 0, client.right, 0};
  DrawTextW(
      dc, text, -1, &wrapped,
      DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | (prefix ? 0 : DT_NOPREFIX));
  if (old) SelectObject(dc, old);
  ReleaseDC(control, dc);
  put_ascii("measure ");
  put_name(context->name);
  printf(" lang=%04X id=%d", context->language, GetDlgCtrlID(control));
  put_quoted("class", class_name);
  printf(
      " style=0x%08lX width=%d cx=%ld cy=%ld line=%ld wrapped=%ld "
      "base=%d,%d\n",
      (unsigned long)style, width, client.right, client.bottom,
      metrics.tmHeight, wrapped.bottom - wrapped.top, context->base_x,
      context->base_y);
  return TRUE;
}

static void measure_dialog(HWND dialog, LPCWSTR name, WORD language) {
  RECT units = {0, 0, 4, 8};
  MapDialogRect(dialog, &units);
  struct MeasureContext context = {name, language, dialog, units.right,
                                   units.bottom};
  EnumChildWindows(dialog, measure_control, (LPARAM)&context);
}

static void print_dialog(HMODULE module, HWND parent, LPCWSTR name,
                         WORD language) {
  if (measure_mode) {
    HRSRC found = FindResourceExW(module, (LPCWSTR)RT_DIALOG, name, language);
    const void* template_data =
        found ? LockResource(LoadResource(module, found)) : NULL;
    HWND dialog = template_data
                      ? CreateDialogIndirectParamW(module, template_data,
                                                   parent, dialog_proc, 0)
                      : NULL;
    if (!dialog) {
      put_ascii("dialog ");
      put_name(name);
      printf(" lang=%04X failed error=%lu\n", language, GetLastError());
      return;
    }
    measure_dialog(dialog, name, language);
    DestroyWindow(dialog);
    return;
  }
  put_ascii("dialog ");
  put_name(name);
  printf(" lang=%04X", language);
  HRSRC found = FindResourceExW(module, (LPCWSTR)RT_DIALOG, name, language);
  const void* template_data =
      found ? LockResource(LoadResource(module, found)) : NULL;
  widget_count = 0;
  SetLastError(0);
  HWND dialog = template_data
                    ? CreateDialogIndirectParamW(module, template_data, parent,
                                                 dialog_proc, 0)
                    : NULL;
  if (!dialog) {
    printf(" failed error=%lu\n", GetLastError());
    return;
  }
  put_ascii("\n");
  print_window("window", dialog);
  HMENU menu = GetMenu(dialog);
  printf(" menu=%d\n", menu ? GetMenuItemCount(menu) : -1);
  print_font(dialog);
  EnumChildWindows(dialog, print_control, 0);
  DestroyWindow(dialog);
}

/* --- String tables ------------------------------------------------------ */

/* Every string of a block: a unit count, then that many units. A count that
 * runs past the block ends it, as it would end LoadStringW's reading. */
static void print_strings(HMODULE module, LPCWSTR name, WORD language) {
  if (!IS_INTRESOURCE(name)) {
    put_ascii("strings ");
    put_name(name);
    printf(" lang=%04X named\n", language);
    return;
  }
  long first = ((long)(ULONG_PTR)name - 1) * 16;
  HRSRC found = FindResourceExW(module, (LPCWSTR)RT_STRING, name, language);
  const WCHAR* units = found ? LockResource(LoadResource(module, found)) : NULL;
  size_t count = found ? SizeofResource(module, found) / 2 : 0;
  size_t at = 0;
  for (long i = 0; i < 16; ++i) {
    printf("string id=%ld lang=%04X", first + i, language);
    if (!units || at >= count || units[at] > count - at - 1) {
      put_ascii(" beyond the block\n");
      return;
    }
    put_quoted_units("text", units + at + 1, units[at]);
    put_ascii("\n");
    at += 1 + (size_t)units[at];
  }
}

/* --- Version information ------------------------------------------------ */

static const wchar_t* const version_keys[] = {
    L"CompanyName",  L"FileDescription", L"FileVersion",
    L"InternalName", L"LegalCopyright",  L"OriginalFilename",
    L"ProductName",  L"ProductVersion",  L"Comments",
    L"PrivateBuild", L"SpecialBuild",    L"LegalTrademarks"};

static void put_version_head(LPCWSTR name, WORD language) {
  put_ascii("version ");
  put_name(name);
  printf(" lang=%04X", language);
}

static void print_version_texts(const void* block, LPCWSTR name, WORD language,
                                DWORD translation) {
  for (size_t i = 0; i < sizeof version_keys / sizeof version_keys[0]; ++i) {
    wchar_t path[128];
    swprintf(path, sizeof path / sizeof path[0],
             L"\\StringFileInfo\\%04X%04X\\%ls", LOWORD(translation),
             HIWORD(translation), version_keys[i]);
    const wchar_t* value = NULL;
    UINT units = 0;
    if (!VerQueryValueW(block, path, (void**)&value, &units) || !value) {
      continue;
    }
    put_version_head(name, language);
    printf(" block=%04X%04X key=", LOWORD(translation), HIWORD(translation));
    put_utf8(version_keys[i]);
    put_quoted_units("text", value, wcsnlen(value, units));
    put_ascii("\n");
  }
}

static void print_version(HMODULE module, LPCWSTR name, WORD language) {
  HRSRC found = FindResourceExW(module, (LPCWSTR)RT_VERSION, name, language);
  DWORD size = found ? SizeofResource(module, found) : 0;
  const void* data = found ? LockResource(LoadResource(module, found)) : NULL;
  /* VerQueryValueW may write behind the block (the ANSI variant keeps its
   * converted texts there), so it gets a copy with as much room again, as
   * GetFileVersionInfoW hands it over. */
  BYTE* block = data && size ? calloc(2, size) : NULL;
  if (!block) {
    put_version_head(name, language);
    printf(" failed error=%lu\n", GetLastError());
    return;
  }
  memcpy(block, data, size);
  const VS_FIXEDFILEINFO* fixed = NULL;
  UINT length = 0;
  put_version_head(name, language);
  if (VerQueryValueW(block, L"\\", (void**)&fixed, &length) && fixed &&
      length >= sizeof *fixed) {
    printf(" file=%u.%u.%u.%u product=%u.%u.%u.%u\n",
           HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
           HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS),
           HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
           HIWORD(fixed->dwProductVersionLS),
           LOWORD(fixed->dwProductVersionLS));
  } else {
    put_ascii(" fixed none\n");
  }
  const DWORD* translations = NULL;
  length = 0;
  if (!VerQueryValueW(block, L"\\VarFileInfo\\Translation",
                      (void**)&translations, &length) ||
      !translations || length < sizeof *translations) {
    put_version_head(name, language);
    put_ascii(" translation none\n");
    free(block);
    return;
  }
  /* Copied first: the texts are looked up in the same block. */
  DWORD pairs[64];
  size_t count = length / sizeof *translations;
  if (count > sizeof pairs / sizeof pairs[0]) {
    count = sizeof pairs / sizeof pairs[0];
  }
  memcpy(pairs, translations, count * sizeof *translations);
  for (size_t i = 0; i < count; ++i) {
    put_version_head(name, language);
    printf(" translation=%04X%04X\n", LOWORD(pairs[i]), HIWORD(pairs[i]));
  }
  for (size_t i = 0; i < count; ++i) {
    print_version_texts(block, name, language, pairs[i]);
  }
  free(block);
}

/* --- Message tables ------------------------------------------------------ */

static void print_message_by_loader(HMODULE module, DWORD id, WORD language) {
  wchar_t* text = NULL;
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE |
                                    FORMAT_MESSAGE_IGNORE_INSERTS |
                                    FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                module, id, language, (LPWSTR)&text, 0, NULL);
  printf("message id=0x%08lX lang=%04X", (unsigned long)id, language);
  if (length == 0 || !text) {
    printf(" failed error=%lu\n", GetLastError());
  } else {
    put_quoted_units("text", text, length);
    put_ascii("\n");
  }
  if (text) LocalFree(text);
}

/* An entry of a table FormatMessageW does not reach: its text up to the
 * first zero, UTF-16 when flagged so, else in the ANSI code page. */
static void print_message_entry(LPCWSTR name, DWORD id, WORD language,
                                const BYTE* entry, WORD length) {
  const WORD flags = *(const WORD*)(entry + 2);
  const BYTE* bytes = entry + 4;
  size_t size = (size_t)length - 4;
  wchar_t* text = calloc(size + 1, sizeof *text);
  size_t units = 0;
  if (text && (flags & 1)) {
    for (; units < size / 2; ++units) {
      text[units] = (wchar_t)(bytes[2 * units] | bytes[2 * units + 1] << 8);
      if (!text[units]) break;
    }
  } else if (text) {
    size_t end = 0;
    while (end < size && bytes[end]) ++end;
    units = end ? (size_t)MultiByteToWideChar(CP_ACP, 0, (LPCSTR)bytes,
                                              (int)end, text, (int)size)
                : 0;
  }
  put_ascii("message ");
  put_name(name);
  printf(" id=0x%08lX lang=%04X", (unsigned long)id, language);
  put_quoted_units("text", text ? text : L"", text ? units : 0);
  put_ascii("\n");
  free(text);
}

static void put_damaged_table(LPCWSTR name, WORD language) {
  put_ascii("messages ");
  put_name(name);
  printf(" lang=%04X damaged\n", language);
}

/* MESSAGE_RESOURCE_DATA: a block count, the blocks (lowest id, highest id,
 * offset of their entries), and per block one entry per id (a byte length
 * that covers the entry, flags, the text). Every read is checked against
 * the table's size. */
static void print_messages(HMODULE module, LPCWSTR name, WORD language) {
  HRSRC found =
      FindResourceExW(module, (LPCWSTR)RT_MESSAGETABLE, name, language);
  DWORD size = found ? SizeofResource(module, found) : 0;
  const BYTE* table = found ? LockResource(LoadResource(module, found)) : NULL;
  if (!table || size < 4) {
    put_damaged_table(name, language);
    return;
  }
  const BOOL loader = IS_INTRESOURCE(name) && (ULONG_PTR)name == 1;
  DWORD blocks = *(const DWORD*)table;
  if (blocks > (size - 4) / 12) {
    put_damaged_table(name, language);
    return;
  }
  for (DWORD b = 0; b < blocks; ++b) {
    const DWORD* block = (const DWORD*)(table + 4 + 12 * b);
    DWORD low = block[0], high = block[1], at = block[2];
    if (high < low) {
      put_damaged_table(name, language);
      return;
    }
    for (DWORD id = low;; ++id) {
      if (at > size || size - at < 4) {
        put_damaged_table(name, language);
        return;
      }
      WORD length = *(const WORD*)(table + at);
      if (length < 4 || length > size - at) {
        put_damaged_table(name, language);
        return;
      }
      if (loader) {
        print_message_by_loader(module, id, language);
      } else {
        print_message_entry(name, id, language, table + at, length);
      }
      at += length;
      if (id == high) break;
    }
  }
}

/* --- Enumeration --------------------------------------------------------- */

struct Walk {
  HMODULE module;
  HWND parent;
  LPCWSTR type;
};

static BOOL CALLBACK visit_language(HMODULE module, LPCWSTR type, LPCWSTR name,
                                    WORD language, LONG_PTR context) {
  const struct Walk* walk = (const struct Walk*)context;
  (void)module;
  if (type == RT_MENU) {
    print_menu(walk->module, name, language);
  } else if (type == RT_STRING) {
    print_strings(walk->module, name, language);
  } else if (type == RT_VERSION) {
    print_version(walk->module, name, language);
  } else if (type == RT_MESSAGETABLE) {
    print_messages(walk->module, name, language);
  } else {
    print_dialog(walk->module, walk->parent, name, language);
  }
  return TRUE;
}

static BOOL CALLBACK visit_name(HMODULE module, LPCWSTR type, LPWSTR name,
                                LONG_PTR context) {
  EnumResourceLanguagesW(module, type, name, visit_language, context);
  return TRUE;
}

static void register_classes(void) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFFFF};
  InitCommonControlsEx(&controls);
  /* Dialogs of real programs use the rich edit classes too. */
  LoadLibraryW(L"riched20.dll");
  LoadLibraryW(L"riched32.dll");
  WNDCLASSW widget = {0};
  /* Global: the dialogs create their controls with the target's handle. */
  widget.style = CS_GLOBALCLASS;
  widget.lpfnWndProc = widget_proc;
  widget.hInstance = GetModuleHandleW(NULL);
  widget.lpszClassName = L"FixtureWidget";
  RegisterClassW(&widget);
}

/* --- Desktop holder ------------------------------------------------------ */

/* The first window of a program brings up the desktop when none is running,
 * and the program waits at most ten seconds for it. On a busy machine the
 * desktop takes longer, and then every window of that program fails: its
 * dialogs print "failed error=1400". A desktop also closes shortly after its
 * last program ends. So a test run starts this holder before any test: it
 * prints "ready" when it has a window, or "failed error=N", and then stays
 * until the wineserver is stopped, keeping the desktop open either way (a
 * holder started after a failed one finds the desktop up). */
static int hold_desktop(void) {
  HWND window = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 1, 1, NULL,
                                NULL, NULL, NULL);
  if (window) {
    puts("ready");
  } else {
    printf("failed error=%lu\n", GetLastError());
  }
  fflush(stdout);
  Sleep(INFINITE);
  return 0;
}

/* "TAG ID" for each tag, as LocaleNameToLCID maps it without neutral names;
 * 0 for a tag it does not know. */
static int print_locales(int count, wchar_t** tags) {
  for (int i = 0; i < count; ++i) {
    printf("%ls %04lX\n", tags[i], (unsigned long)LocaleNameToLCID(tags[i], 0));
  }
  fflush(stdout);
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  /* Line feeds as they are, not CR LF: the printout is compared as text. */
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc >= 2 && wcscmp(argv[1], L"--locales") == 0) {
    return print_locales(argc - 2, argv + 2);
  }
  measure_mode = argc == 3 && wcscmp(argv[1], L"--measure") == 0;
  if (argc != 2 && !measure_mode) {
    fputs(
        "usage: probe TARGET | probe --measure TARGET | probe --locales TAG..."
        " | probe --hold\n",
        stderr);
    return 2;
  }
  if (wcscmp(argv[1], L"--hold") == 0) return hold_desktop();
  HMODULE module =
      LoadLibraryExW(argv[argc - 1], NULL,
                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) {
    printf("load failed error=%lu\n", GetLastError());
    return 2;
  }
  register_classes();
  /* Child dialogs (property pages) need a parent window. */
  HWND parent = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 100, 100,
                                NULL, NULL, NULL, NULL);
  struct Walk walk = {module, parent, (LPCWSTR)RT_DIALOG};
  if (measure_mode) {
    EnumResourceNamesW(module, (LPCWSTR)RT_DIALOG, visit_name, (LONG_PTR)&walk);
    fflush(stdout);
    return 0;
  }
  walk.type = (LPCWSTR)RT_MENU;
  EnumResourceNamesW(module, (LPCWSTR)RT_MENU, visit_name, (LONG_PTR)&walk);
  walk.type = (LPCWSTR)RT_DIALOG;
  EnumResourceNamesW(module, (LPCWSTR)RT_DIALOG, visit_name, (LONG_PTR)&walk);
  walk.type = (LPCWSTR)RT_STRING;
  EnumResourceNamesW(module, (LPCWSTR)RT_STRING, visit_name, (LONG_PTR)&walk);
  walk.type = (LPCWSTR)RT_VERSION;
  EnumResourceNamesW(module, (LPCWSTR)RT_VERSION, visit_name, (LONG_PTR)&walk);
  walk.type = (LPCWSTR)RT_MESSAGETABLE;
  EnumResourceNamesW(module, (LPCWSTR)RT_MESSAGETABLE, visit_name,
                     (LONG_PTR)&walk);
  fflush(stdout);
  return 0;
}
