#include "tests/e2e/harness.h"

#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "res/resource.h"

namespace e2e {

namespace {

std::string g_jotwellExe;

std::string moduleFolder() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string s(path);
    return s.substr(0, s.find_last_of('\\'));
}

// Makes a path given in Unix form (as CMake passes it under Wine) a Windows one.
std::string windowsPath(std::string path) {
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

void listFiles(const std::string &root, const std::string &relative,
               std::vector<std::string> *out) {
    WIN32_FIND_DATAA data;
    const std::string dir = relative.empty() ? root : root + "\\" + relative;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string child = relative.empty() ? name : relative + "\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            listFiles(root, child, out);
        else
            out->push_back(child);
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

struct FindArgs {
    DWORD pid;
    const char *className;
    const char *title;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK collectWindow(HWND window, LPARAM lParam) {
    auto *args = reinterpret_cast<FindArgs *>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != args->pid)
        return TRUE;
    if (args->className && className(window) != args->className)
        return TRUE;
    if (args->title && windowText(window) != args->title)
        return TRUE;
    if (args->visibleOnly && !IsWindowVisible(window))
        return TRUE;
    args->found.push_back(window);
    return TRUE;
}

void sendInputs(std::vector<INPUT> &inputs) {
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

INPUT keyInput(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return in;
}

INPUT mouseInput(int x, int y, DWORD flags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    in.mi.dx = static_cast<LONG>((x * 65536LL + w / 2) / w);
    in.mi.dy = static_cast<LONG>((y * 65536LL + h / 2) / h);
    in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    return in;
}

} // namespace

void removeTree(const std::string &path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name != "." && name != "..")
                removeTree(path + "\\" + name);
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

const std::string &jotwellExe() {
    if (g_jotwellExe.empty()) {
        const char *line = GetCommandLineA();
        const char *at = std::strstr(line, "--jotwell=");
        if (at) {
            std::string value = at + std::strlen("--jotwell=");
            value = value.substr(0, value.find(' '));
            g_jotwellExe = windowsPath(value);
        } else {
            g_jotwellExe = moduleFolder() + "\\jotwell.exe";
        }
    }
    return g_jotwellExe;
}

std::string screenshotFolder() {
    const std::string folder = moduleFolder() + "\\screenshots";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

bool waitUntil(const std::function<bool()> &condition, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(20);
    }
}

TempFolder::TempFolder() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    static int counter = 0;
    for (;;) {
        char name[MAX_PATH];
        std::snprintf(name, sizeof name, "%sjotwell-e2e-%lu-%d", temp, GetCurrentProcessId(),
                      ++counter);
        if (CreateDirectoryA(name, nullptr)) {
            path_ = name;
            return;
        }
    }
}

TempFolder::~TempFolder() {
    removeTree(path_);
}

std::string iniText(int hotkey, bool imeOn, const char *folder) {
    char text[1024];
    std::snprintf(text, sizeof text,
                  "[ホットキー]\r\n表示の切り替え=%d\r\n[quillomat]\r\n日本語入力=%d\r\n", hotkey,
                  imeOn ? 1 : 0);
    std::string s = text;
    if (folder)
        s += std::string("文書保存フォルダ=") + folder + "\r\n";
    return s;
}

JotwellProcess::JotwellProcess() {
    CopyFileA(jotwellExe().c_str(), exePath().c_str(), FALSE);
}

JotwellProcess::~JotwellProcess() {
    if (process_) {
        if (running()) {
            // Dismiss what may block a quit (a message box of the program's),
            // then ask politely, then insist.
            for (HWND box : std::vector<HWND>{findWindow("#32770")})
                if (box)
                    PostMessageA(box, WM_CLOSE, 0, 0);
            if (mainWindow_)
                PostMessageA(mainWindow_, WM_COMMAND, IDM_QUIT, 0);
            if (WaitForSingleObject(process_, 3000) != WAIT_OBJECT_0) {
                TerminateProcess(process_, 99);
                WaitForSingleObject(process_, 5000);
            }
        }
        CloseHandle(process_);
    }
}

std::string JotwellProcess::exePath() const {
    return folder() + "\\jotwell.exe";
}

std::string JotwellProcess::iniPath() const {
    return folder() + "\\jotwell.ini";
}

void JotwellProcess::writeIni(const std::string &text) const {
    writeFileBytes(iniPath(), text);
}

bool JotwellProcess::start(bool waitForMainWindow, DWORD timeoutMs) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string commandLine = "\"" + exePath() + "\"";
    if (!CreateProcessA(exePath().c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder().c_str(), &startup, &info))
        return false;
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    pid_ = info.dwProcessId;
    if (!waitForMainWindow)
        return true;
    waitUntil(
        [&] {
            mainWindow_ = findWindow("quillomat", "quillomat");
            return mainWindow_ != nullptr || !running();
        },
        timeoutMs);
    // The window exists from the start of its creation; the program is ready
    // (tray icon added, hotkey registered) once its loop waits for input.
    if (mainWindow_)
        WaitForInputIdle(process_, timeoutMs);
    return mainWindow_ != nullptr && running();
}

bool JotwellProcess::running() const {
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

DWORD JotwellProcess::waitForExit(DWORD timeoutMs) const {
    if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_, &code);
    return code;
}

bool JotwellProcess::quit(DWORD timeoutMs) {
    if (!running())
        return false;
    PostMessageA(mainWindow_, WM_COMMAND, IDM_QUIT, 0);
    return waitForExit(timeoutMs) == 0;
}

void JotwellProcess::trayNotify(UINT mouseMessage) const {
    SendNotifyMessageA(mainWindow_, WM_TRAYNOTIFY, TRAY_ICON_ID, mouseMessage);
}

void JotwellProcess::trayClick(UINT button, int x, int y) const {
    mouseMove(x, y);
    trayNotify(WM_MOUSEMOVE);
    trayNotify(button == WM_RBUTTONUP ? WM_RBUTTONDOWN : WM_LBUTTONDOWN);
    trayNotify(button);
}

HWND JotwellProcess::findWindow(const char *cls, const char *title) const {
    return findWindowOfProcess(pid_, cls, title);
}

HWND JotwellProcess::waitForWindow(const char *cls, const char *title, DWORD timeoutMs) const {
    HWND window = nullptr;
    waitUntil([&] { return (window = findWindow(cls, title)) != nullptr; }, timeoutMs);
    return window;
}

std::vector<HWND> JotwellProcess::visibleWindows() const {
    FindArgs args{pid_, nullptr, nullptr, true, {}};
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&args));
    return args.found;
}

std::vector<std::string> JotwellProcess::notes() const {
    std::vector<std::string> files;
    listFiles(folder(), "", &files);
    files.erase(std::remove_if(
                    files.begin(), files.end(),
                    [](const std::string &f) { return f == "jotwell.exe" || f == "jotwell.ini"; }),
                files.end());
    std::sort(files.begin(), files.end());
    return files;
}

HWND findWindowOfProcess(DWORD pid, const char *cls, const char *title) {
    FindArgs args{pid, cls, title, false, {}};
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&args));
    return args.found.empty() ? nullptr : args.found.front();
}

std::string windowText(HWND window) {
    char text[4096] = "";
    // WM_GETTEXT rather than GetWindowText: the latter does not ask another
    // process's controls for their text.
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 2000, nullptr);
    return text;
}

std::string className(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string messageBoxText(HWND box) {
    return windowText(GetDlgItem(box, 0xFFFF));
}

void pressKeys(std::initializer_list<WORD> chord) {
    std::vector<INPUT> inputs;
    for (WORD vk : chord)
        inputs.push_back(keyInput(vk, false));
    for (auto it = std::rbegin(chord); it != std::rend(chord); ++it)
        inputs.push_back(keyInput(*it, true));
    sendInputs(inputs);
}

void pressKey(WORD vk) {
    pressKeys({vk});
}

void typeText(const std::wstring &text) {
    for (wchar_t c : text) {
        if (c == L'\n') {
            pressKey(VK_RETURN);
            continue;
        }
        std::vector<INPUT> inputs(2);
        for (int i = 0; i < 2; ++i) {
            inputs[i].type = INPUT_KEYBOARD;
            inputs[i].ki.wScan = c;
            inputs[i].ki.dwFlags = KEYEVENTF_UNICODE | (i ? KEYEVENTF_KEYUP : 0);
        }
        sendInputs(inputs);
    }
}

void mouseMove(int x, int y) {
    std::vector<INPUT> inputs{mouseInput(x, y, 0)};
    sendInputs(inputs);
    waitUntil([&] { return cursorPos().x == x && cursorPos().y == y; }, 1000);
}

void mouseDown(int x, int y) {
    std::vector<INPUT> inputs{mouseInput(x, y, MOUSEEVENTF_LEFTDOWN)};
    sendInputs(inputs);
}

void mouseUp(int x, int y) {
    std::vector<INPUT> inputs{mouseInput(x, y, MOUSEEVENTF_LEFTUP)};
    sendInputs(inputs);
}

void mouseClick(int x, int y, bool right) {
    mouseMove(x, y);
    std::vector<INPUT> inputs{
        mouseInput(x, y, right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN),
        mouseInput(x, y, right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP)};
    sendInputs(inputs);
}

POINT cursorPos() {
    POINT p{};
    GetCursorPos(&p);
    return p;
}

COLORREF screenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return colour;
}

bool saveScreenshot(const std::string &name) {
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, w, h, screen, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        GdiFlush();
        const DWORD stride = ((w * 3) + 3) & ~3u;
        const DWORD imageSize = stride * h;
        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof file + sizeof info.bmiHeader;
        file.bfSize = file.bfOffBits + imageSize;
        const std::string path = screenshotFolder() + "\\" + name + ".bmp";
        if (FILE *f = std::fopen(path.c_str(), "wb")) {
            saved = std::fwrite(&file, sizeof file, 1, f) == 1 &&
                    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, f) == 1 &&
                    std::fwrite(bits, imageSize, 1, f) == 1;
            saved = std::fclose(f) == 0 && saved;
        }
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

bool fileExistsAt(const std::string &path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isDirectoryAt(const std::string &path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string readFileBytes(const std::string &path) {
    std::string bytes;
    if (FILE *f = std::fopen(path.c_str(), "rb")) {
        char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.append(buffer, n);
        std::fclose(f);
    }
    return bytes;
}

void writeFileBytes(const std::string &path, const std::string &bytes) {
    if (FILE *f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

std::string hexBytes(const std::string &bytes) {
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02X ", c);
        out += b;
    }
    return out;
}

std::string monthFolderNow() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char name[16];
    std::snprintf(name, sizeof name, "%04d-%02d", now.wYear, now.wMonth);
    return name;
}

HWND waitForMenuWindow(DWORD timeoutMs) {
    HWND menu = nullptr;
    waitUntil(
        [&] {
            menu = FindWindowA("#32768", nullptr);
            return menu && IsWindowVisible(menu);
        },
        timeoutMs);
    return menu && IsWindowVisible(menu) ? menu : nullptr;
}

std::vector<MenuBand> scanMenuItems(HWND menuWindow) {
    RECT r;
    GetWindowRect(menuWindow, &r);
    const int probeX = r.left + 6;
    const int height = r.bottom - r.top;
    auto column = [&] {
        std::vector<COLORREF> c(height);
        HDC screen = GetDC(nullptr);
        for (int y = 0; y < height; ++y)
            c[y] = GetPixel(screen, probeX, r.top + y);
        ReleaseDC(nullptr, screen);
        return c;
    };
    // With the cursor off the menu no item is highlighted.
    mouseMove(r.left - 20, r.top - 20);
    Sleep(150);
    const std::vector<COLORREF> baseline = column();
    std::vector<MenuBand> bands;
    for (int y = r.top + 2; y < r.bottom - 2; y += 3) {
        if (!bands.empty() && y < bands.back().bottom)
            continue;
        mouseMove((r.left + r.right) / 2, y);
        std::vector<COLORREF> now;
        int top = -1, bottom = -1;
        waitUntil(
            [&] {
                now = column();
                top = bottom = -1;
                for (int i = 0; i < height; ++i)
                    if (now[i] != baseline[i]) {
                        if (top < 0)
                            top = i;
                        bottom = i + 1;
                    }
                return top >= 0 && r.top + top <= y && y < r.top + bottom;
            },
            150);
        if (top >= 0 && r.top + top <= y && y < r.top + bottom)
            bands.push_back({r.top + top, r.top + bottom});
    }
    return bands;
}

struct FakeTray::State {
    std::atomic<int> refuseAdds{0};
    bool withNotifyWindow;
    std::atomic<int> adds{0}, deletes{0}, refused{0};
    std::atomic<HWND> tray{nullptr};
    std::atomic<HWND> notify{nullptr};
    std::atomic<bool> ready{false};
    DWORD threadId = 0;
    std::thread thread;
};

namespace {

enum : UINT { kCreateNotify = WM_APP + 1, kDestroyNotify = WM_APP + 2 };

LRESULT CALLBACK fakeTrayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *state = reinterpret_cast<FakeTray::State *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_COPYDATA && state) {
        const auto *data = reinterpret_cast<const COPYDATASTRUCT *>(lParam);
        // Wine passes the NIM_ code in dwData; Windows passes 1 and puts it
        // after a signature word in the data.
        DWORD code = static_cast<DWORD>(data->dwData);
        if (code == 1 && data->cbData >= 8)
            code = reinterpret_cast<const DWORD *>(data->lpData)[1];
        if (code == NIM_ADD) {
            ++state->adds;
            if (state->refuseAdds > 0) {
                --state->refuseAdds;
                ++state->refused;
                return FALSE;
            }
            return TRUE;
        }
        if (code == NIM_DELETE) {
            ++state->deletes;
            return TRUE;
        }
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void registerFakeClasses() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = fakeTrayProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "Shell_TrayWnd";
    RegisterClassA(&wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "TrayNotifyWnd";
    RegisterClassA(&wc);
}

void createNotify(FakeTray::State *state) {
    if (!state->notify)
        state->notify = CreateWindowExA(0, "TrayNotifyWnd", "", WS_CHILD, 0, 0, 10, 10, state->tray,
                                        nullptr, GetModuleHandleA(nullptr), nullptr);
}

void fakeTrayThread(FakeTray::State *state) {
    registerFakeClasses();
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); // make the thread's queue
    // Topmost and created last, so it is the first "Shell_TrayWnd" found.
    HWND tray = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "Shell_TrayWnd", "", WS_POPUP, 0,
                                0, 1, 1, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(tray, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    state->tray = tray;
    if (state->withNotifyWindow)
        createNotify(state);
    state->ready = true;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.hwnd == nullptr && msg.message == kCreateNotify) {
            createNotify(state);
            continue;
        }
        if (msg.hwnd == nullptr && msg.message == kDestroyNotify) {
            if (state->notify)
                DestroyWindow(state->notify);
            state->notify = nullptr;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    DestroyWindow(tray);
}

} // namespace

FakeTray::FakeTray(int refuseAdds, bool withNotifyWindow) : state_(new State) {
    state_->refuseAdds = refuseAdds;
    state_->withNotifyWindow = withNotifyWindow;
    state_->thread = std::thread([this] {
        state_->threadId = GetCurrentThreadId();
        fakeTrayThread(state_);
    });
    waitUntil([this] { return state_->ready.load(); }, 5000);
}

FakeTray::~FakeTray() {
    PostThreadMessageA(state_->threadId, WM_QUIT, 0, 0);
    state_->thread.join();
    delete state_;
}

int FakeTray::adds() const {
    return state_->adds;
}
int FakeTray::deletes() const {
    return state_->deletes;
}
int FakeTray::refused() const {
    return state_->refused;
}
void FakeTray::setRefuseAdds(int count) {
    state_->refuseAdds = count;
}
void FakeTray::destroyNotifyWindow() {
    PostThreadMessageA(state_->threadId, kDestroyNotify, 0, 0);
    waitUntil([this] { return state_->notify.load() == nullptr; }, 2000);
}
void FakeTray::createNotifyWindow() {
    PostThreadMessageA(state_->threadId, kCreateNotify, 0, 0);
    waitUntil([this] { return state_->notify.load() != nullptr; }, 2000);
}
HWND FakeTray::trayWindow() const {
    return state_->tray;
}

} // namespace e2e
