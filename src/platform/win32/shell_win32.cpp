// Windows back-end of Shell: special folders through SHGetSpecialFolderLocation
// and SHGetPathFromIDListW, links through the shell link object's IShellLinkA
// and IPersistFile, deletion through SHFileOperationA.
// The SDK headers below need <windows.h> first.
// clang-format off
#include "platform/win32/windows_api.h"
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
// clang-format on

#include <vector>

#include "platform/env.h"
#include "platform/separators.h"
#include "platform/win32/ansi_text.h"

namespace platform {
namespace {

const DWORD kResolveFlags = SLR_NO_UI | SLR_ANY_MATCH;
constexpr FILEOP_FLAGS kDeleteFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI;

// A COM interface pointer released when it goes out of scope.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (m_p) m_p->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* operator->() const { return m_p; }
  T* get() const { return m_p; }
  void** out() { return reinterpret_cast<void**>(&m_p); }

 private:
  T* m_p = nullptr;
};

// The link path as the file interface takes it: the system code page,
// precomposed, at most 260 characters.
bool WidePath(const std::string& path, WCHAR (&wide)[MAX_PATH]) {
  return ::MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, path.c_str(), -1, wide, MAX_PATH) > 0;
}

HRESULT CreateLinkObject(ComPtr<IShellLinkA>* link) {
  return ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                            link->out());
}

class Win32Shell : public Shell {
 public:
  bool GetSpecialFolderPath(int folder, bool create, std::string* path) override {
    LPITEMIDLIST pidl = nullptr;
    // Windows' special folders are the shell's to make: asked for as they are.
    (void)create;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, folder, &pidl)) || !pidl) return false;
    // Asked for in UTF-16: a folder whose name the code page cannot hold has
    // no path here (the ANSI form would name it with "?").
    WCHAR buffer[MAX_PATH];
    BOOL ok = ::SHGetPathFromIDListW(pidl, buffer);
    IMalloc* malloc = nullptr;
    if (SUCCEEDED(::SHGetMalloc(&malloc)) && malloc) {
      malloc->Free(pidl);
      malloc->Release();
    }
    std::string dir;
    if (!ok || buffer[0] == L'\0' || !WideToAnsi(buffer, &dir)) return false;
    // "C:\" keeps its backslash off too: the caller adds one.
    if (dir.size() > 1 && EndsWithSeparator(dir)) dir.pop_back();
    *path = dir;
    return true;
  }

  bool SaveLink(const std::string& linkPath, const ShellLink& link, bool setArguments,
                bool setIconLocation) override {
    // Initialised once for the thread and never uninitialised.
    ::CoInitialize(nullptr);
    ComPtr<IShellLinkA> shellLink;
    if (FAILED(CreateLinkObject(&shellLink))) return false;
    shellLink->SetPath(link.target.c_str());
    shellLink->SetDescription(link.description.c_str());
    if (setArguments) shellLink->SetArguments(link.arguments.c_str());
    ComPtr<IPersistFile> file;
    if (FAILED(shellLink->QueryInterface(IID_IPersistFile, file.out()))) return false;
    WCHAR wide[MAX_PATH];
    if (!WidePath(linkPath, wide)) return false;
    if (setIconLocation) shellLink->SetIconLocation(link.iconFile.c_str(), link.iconIndex);
    return SUCCEEDED(file->Save(wide, TRUE));
  }

  int32_t LoadLink(const std::string& linkPath, WindowId owner, ShellLink* link) override {
    // Reading may come before any save in the process.
    ::CoInitialize(nullptr);
    ComPtr<IShellLinkA> shellLink;
    HRESULT hr = CreateLinkObject(&shellLink);
    if (FAILED(hr)) return hr;
    ComPtr<IPersistFile> file;
    hr = shellLink->QueryInterface(IID_IPersistFile, file.out());
    if (FAILED(hr)) return hr;
    WCHAR wide[MAX_PATH];
    if (!WidePath(linkPath, wide)) return kEFail;
    hr = file->Load(wide, STGM_READ);
    if (FAILED(hr)) return hr;
    // Whether the file holds an icon location, asked before resolving: some
    // shells give a link without one its target's icon when resolving it.
    ComPtr<IShellLinkDataList> dataList;
    DWORD flags = SLDF_HAS_ICONLOCATION;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IShellLinkDataList, dataList.out()))) {
      dataList->GetFlags(&flags);
    }
    const bool hasIconLocation = (flags & SLDF_HAS_ICONLOCATION) != 0;
    hr = shellLink->Resolve(reinterpret_cast<HWND>(static_cast<uintptr_t>(owner)), kResolveFlags);
    if (FAILED(hr)) return hr;
    char buffer[MAX_PATH];
    WIN32_FIND_DATAA data;
    hr = shellLink->GetPath(buffer, MAX_PATH, &data, SLGP_SHORTPATH);
    if (FAILED(hr)) return hr;
    link->target = buffer;
    hr = shellLink->GetArguments(buffer, MAX_PATH);
    if (FAILED(hr)) return hr;
    link->arguments = buffer;
    hr = shellLink->GetDescription(buffer, MAX_PATH);
    if (FAILED(hr)) return hr;
    link->description = buffer;
    int index = 0;
    hr = shellLink->GetIconLocation(buffer, MAX_PATH, &index);
    if (FAILED(hr)) return hr;
    link->iconFile = buffer;
    link->iconIndex = index;
    if (!hasIconLocation) link->iconFile.clear();
    return hr;
  }

  bool DeleteForGood(const std::string& path) override {
    // A one-entry list: the path and a second terminating zero.
    std::vector<char> from(path.begin(), path.end());
    from.push_back('\0');
    from.push_back('\0');
    SHFILEOPSTRUCTA op;
    ZeroMemory(&op, sizeof op);
    op.wFunc = FO_DELETE;
    op.pFrom = from.data();
    op.fFlags = kDeleteFlags;
    return ::SHFileOperationA(&op) == 0 && !op.fAnyOperationsAborted;
  }

  size_t GetLongPathForm(const std::string& input, std::string* longPath) override {
    if (input.empty()) return 0;
    if (::GetFileAttributesA(input.c_str()) == INVALID_FILE_ATTRIBUTES) return 0;
    std::string path = input;
    for (char& c : path) {
      if (c == '/') c = '\\';  // never a GBK trail byte
    }
    // A network path's server part cannot be searched.
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') return 0;
    std::string root;
    size_t rest = 0;
    if (path.size() >= 2 && path[1] == ':') {
      if (path.size() > 2 && path[2] != '\\') return 0;
      root = path.substr(0, path.size() > 2 ? 3 : 2);
      rest = root.size();
    } else if (path[0] == '\\') {
      root = "\\";
      rest = 1;
    }
    std::string result = root;
    std::string lookup = root;
    while (rest < path.size()) {
      size_t sep = NextSeparator(path, rest);
      std::string part =
          path.substr(rest, sep == std::string::npos ? std::string::npos : sep - rest);
      if (part.empty()) {
        lookup += '\\';
      } else {
        lookup += part;
        WIN32_FIND_DATAA data;
        HANDLE find = ::FindFirstFileA(lookup.c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return 0;
        ::FindClose(find);
        // "." and ".." are searched as themselves and kept as written.
        result += (part == "." || part == "..") ? part : std::string(data.cFileName);
        if (sep != std::string::npos) {
          result += '\\';
          lookup += '\\';
        }
      }
      if (sep == std::string::npos) break;
      rest = sep + 1;
    }
    *longPath = result;
    return result.size();
  }
};

}  // namespace

Shell* DefaultShell() {
  static Win32Shell shell;
  return &shell;
}

}  // namespace platform
