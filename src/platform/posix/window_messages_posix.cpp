// POSIX back-end of WindowMessages, over X11. Every call opens its own
// connection to $DISPLAY and closes it again; without a display no window is
// ever found. A top-level window (a child of a root window, or the client
// window inside a window manager's frame) matches by WM_CLASS, whose instance
// name (res_name) or class name (res_class) may equal the class text, and by
// title, where _NET_WM_NAME or WM_NAME may equal the title text; both compare
// ignoring ASCII case, as FindWindowA does. An empty class or title matches any
// window, and both empty match none. WM_CLOSE goes out as the WM_DELETE_WINDOW
// protocol message; every other message as a _VELMAR_WINDOW_MESSAGE client
// message whose three 32-bit values are the message, wparam and lparam.
// A window's process is the one its _NET_WM_PID names, when WM_CLIENT_MACHINE
// says it runs on this machine; it is held as a pidfd, so that another process
// that later gets the same number is never waited for.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <new>
#include <thread>
#include <vector>

#include "platform/env.h"

namespace platform {
namespace {

constexpr uint32_t kWmClose = 16;
// How long a window has to go away after WM_CLOSE, and how often we look.
constexpr auto kCloseGrace = std::chrono::seconds(2);
constexpr auto kClosePoll = std::chrono::milliseconds(20);
// Frames of reparenting window managers nest the client this deep at most.
constexpr int kMaxFrameDepth = 3;

// Windows may vanish at any moment between our requests; the errors that
// brings (BadWindow above all) are counted instead of ending the process.
int g_nXErrors = 0;

int CountXError(Display*, XErrorEvent*) {
  ++g_nXErrors;
  return 0;
}

// One connection with the counting error handler in place for its lifetime.
class Connection {
 public:
  Connection() : m_pDisplay(XOpenDisplay(nullptr)) {
    if (m_pDisplay) m_pPrevious = XSetErrorHandler(CountXError);
  }
  ~Connection() {
    if (!m_pDisplay) return;
    XSync(m_pDisplay, False);
    XSetErrorHandler(m_pPrevious);
    XCloseDisplay(m_pDisplay);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  Display* get() const { return m_pDisplay; }
  explicit operator bool() const { return m_pDisplay != nullptr; }

 private:
  Display* m_pDisplay;
  XErrorHandler m_pPrevious = nullptr;
};

bool EqualNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && !b[i];
}

std::string Latin1ToUtf8(const unsigned char* text, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    if (text[i] < 0x80) {
      out += static_cast<char>(text[i]);
    } else {
      out += static_cast<char>(0xC0 | (text[i] >> 6));
      out += static_cast<char>(0x80 | (text[i] & 0x3F));
    }
  }
  return out;
}

bool HasClass(Display* d, Window w, XClassHint* hint) {
  hint->res_name = nullptr;
  hint->res_class = nullptr;
  return XGetClassHint(d, w, hint) != 0;
}

bool ClassMatches(const XClassHint& hint, const std::string& className) {
  return (hint.res_name && EqualNoCase(className, hint.res_name)) ||
         (hint.res_class && EqualNoCase(className, hint.res_class));
}

// The window's titles as UTF-8: _NET_WM_NAME, then WM_NAME.
std::vector<std::string> Titles(Display* d, Window w) {
  std::vector<std::string> titles;
  Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  Atom netWmName = XInternAtom(d, "_NET_WM_NAME", False);
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(d, w, netWmName, 0, 4096, False, utf8, &type, &format, &count, &after,
                         &data) == Success &&
      data) {
    if (type == utf8 && format == 8) titles.emplace_back(reinterpret_cast<char*>(data), count);
    XFree(data);
  }
  XTextProperty name;
  if (XGetWMName(d, w, &name) && name.value) {
    if (name.encoding == XA_STRING && name.format == 8) {
      titles.push_back(Latin1ToUtf8(name.value, name.nitems));
    } else if (name.encoding == utf8 && name.format == 8) {
      titles.emplace_back(reinterpret_cast<char*>(name.value), name.nitems);
    } else {
      char** list = nullptr;
      int n = 0;
      if (Xutf8TextPropertyToTextList(d, &name, &list, &n) >= Success && list) {
        if (n > 0 && list[0]) titles.emplace_back(list[0]);
        XFreeStringList(list);
      }
    }
    XFree(name.value);
  }
  return titles;
}

bool TitleMatches(Display* d, Window w, const std::string& title) {
  for (const std::string& t : Titles(d, w)) {
    if (EqualNoCase(title, t.c_str()) && t.size() == title.size()) return true;
  }
  return false;
}

// Looks through the children of `parent`, topmost first. A child without
// WM_CLASS may be a window manager's frame: its own children are looked
// through in turn.
Window Search(Display* d, Window parent, const std::string& className, const std::string& title,
              int depth) {
  Window root, parentOut;
  Window* children = nullptr;
  unsigned int n = 0;
  if (!XQueryTree(d, parent, &root, &parentOut, &children, &n)) return 0;
  std::vector<Window> list(children, children + n);
  if (children) XFree(children);
  for (size_t i = list.size(); i-- > 0;) {
    Window w = list[i];
    XClassHint hint;
    bool hasClass = HasClass(d, w, &hint);
    bool classOk = className.empty() || (hasClass && ClassMatches(hint, className));
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    if (classOk && (title.empty() || TitleMatches(d, w, title))) return w;
    if (!hasClass && depth + 1 < kMaxFrameDepth) {
      Window found = Search(d, w, className, title, depth + 1);
      if (found) return found;
    }
  }
  return 0;
}

// The process number of a window made on this machine; 0 when it has none.
pid_t LocalProcessOf(Display* d, Window w) {
  XTextProperty machine;
  if (!XGetWMClientMachine(d, w, &machine) || !machine.value) return 0;
  std::string client(reinterpret_cast<char*>(machine.value), machine.nitems);
  XFree(machine.value);
  char host[HOST_NAME_MAX + 1] = {};
  if (gethostname(host, sizeof host - 1) != 0 || client != host) return 0;
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  pid_t pid = 0;
  if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), 0, 1, False, XA_CARDINAL,
                         &type, &format, &count, &after, &data) == Success &&
      data) {
    if (type == XA_CARDINAL && format == 32 && count == 1) {
      pid = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data));
    }
    XFree(data);
  }
  return pid;
}

class PidfdProcess : public WindowProcess {
 public:
  explicit PidfdProcess(int fd) : m_fd(fd) {}
  ~PidfdProcess() override { close(m_fd); }
  PidfdProcess(const PidfdProcess&) = delete;
  PidfdProcess& operator=(const PidfdProcess&) = delete;

  // The pidfd becomes readable when the process ends.
  bool WaitForEnd(uint32_t milliseconds) override {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                      deadline - std::chrono::steady_clock::now())
                      .count();
      struct pollfd p = {m_fd, POLLIN, 0};
      int n = poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
      if (n > 0) return true;
      if (n == 0 || errno != EINTR) return false;
    }
  }

 private:
  int m_fd;
};

bool Exists(Display* d, Window w) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(d, w, &attributes) != 0;
}

bool Deliver(Display* d, WindowId window, uint32_t message, int32_t wParam, int32_t lParam) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = static_cast<Window>(window);
  event.xclient.format = 32;
  if (message == kWmClose) {
    event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
  } else {
    event.xclient.message_type = XInternAtom(d, "_VELMAR_WINDOW_MESSAGE", False);
    event.xclient.data.l[0] = static_cast<long>(message);
    event.xclient.data.l[1] = wParam;
    event.xclient.data.l[2] = lParam;
  }
  int errors = g_nXErrors;
  // No event mask: the event goes to the client that made the window.
  if (!XSendEvent(d, event.xclient.window, False, NoEventMask, &event)) return false;
  XSync(d, False);
  return g_nXErrors == errors;
}

class X11WindowMessages : public WindowMessages {
 public:
  WindowId FindWindow(const std::string& className, const std::string& title) override {
    if (className.empty() && title.empty()) return 0;
    Connection c;
    if (!c) return 0;
    for (int screen = 0; screen < ScreenCount(c.get()); ++screen) {
      Window found = Search(c.get(), RootWindow(c.get(), screen), className, title, 0);
      if (found) return found;
    }
    return 0;
  }

  // Waits until the X server has passed the message on; a WM_CLOSE then has
  // up to two seconds to make the window go away.
  bool SendMessage(WindowId window, uint32_t message, int32_t wParam, int32_t lParam) override {
    if (!window) return false;
    Connection c;
    if (!c || !Deliver(c.get(), window, message, wParam, lParam)) return false;
    if (message == kWmClose) {
      auto deadline = std::chrono::steady_clock::now() + kCloseGrace;
      while (Exists(c.get(), static_cast<Window>(window)) &&
             std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kClosePoll);
      }
    }
    return true;
  }

  bool PostMessage(WindowId window, uint32_t message, int32_t wParam, int32_t lParam) override {
    if (!window) return false;
    Connection c;
    return c && Deliver(c.get(), window, message, wParam, lParam);
  }

  bool IsWindow(WindowId window) override {
    if (!window) return false;
    Connection c;
    return c && Exists(c.get(), static_cast<Window>(window));
  }

  std::unique_ptr<WindowProcess> OpenWindowProcess(WindowId window) override {
    if (!window) return nullptr;
    pid_t pid = 0;
    {
      Connection c;
      if (!c) return nullptr;
      pid = LocalProcessOf(c.get(), static_cast<Window>(window));
    }
    if (pid <= 0 || pid == getpid()) return nullptr;
    int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) return nullptr;
    std::unique_ptr<WindowProcess> process(new (std::nothrow) PidfdProcess(fd));
    if (!process) close(fd);
    return process;
  }
};

}  // namespace

WindowMessages* DefaultWindowMessages() {
  static X11WindowMessages windows;
  return &windows;
}

}  // namespace platform
