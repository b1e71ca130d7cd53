/* A top-level X window for the window-message tests. It logs every message it
 * receives, one line each, to the log file:
 *   ready <window id>
 *   close                      (WM_DELETE_WINDOW)
 *   closed                     (the window is destroyed and the client ends)
 *   message <msg> <wparam> <lparam>   (_VELMAR_WINDOW_MESSAGE, as unsigned
 *                                      32-bit numbers in hexadecimal)
 * Usage: x_test_window --log FILE [--name N] [--class C] [--title T] [--refuse]
 *                      [--linger MS]
 * --refuse ignores close requests; --linger keeps the process on for MS
 * milliseconds after its window is gone, as a program that still writes its
 * files does. The window names its process (_NET_WM_PID, WM_CLIENT_MACHINE).
 * The client ends itself after 120 seconds. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static const char* g_log;

static void LogLine(const char* line) {
  FILE* f = fopen(g_log, "a");
  if (!f) return;
  fputs(line, f);
  fputc('\n', f);
  fclose(f);
}

int main(int argc, char** argv) {
  const char* name = "velmartest";
  const char* cls = "VelmarTest";
  const char* title = "Velmar Test Window";
  int refuse = 0;
  int linger = 0;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--refuse")) {
      refuse = 1;
    } else if (i + 1 < argc && !strcmp(argv[i], "--log")) {
      g_log = argv[++i];
    } else if (i + 1 < argc && !strcmp(argv[i], "--name")) {
      name = argv[++i];
    } else if (i + 1 < argc && !strcmp(argv[i], "--class")) {
      cls = argv[++i];
    } else if (i + 1 < argc && !strcmp(argv[i], "--title")) {
      title = argv[++i];
    } else if (i + 1 < argc && !strcmp(argv[i], "--linger")) {
      linger = atoi(argv[++i]);
    } else {
      fprintf(stderr, "x_test_window: unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  if (!g_log) {
    fprintf(stderr, "x_test_window: --log FILE is required\n");
    return 2;
  }
  alarm(120);

  Display* d = XOpenDisplay(NULL);
  if (!d) {
    fprintf(stderr, "x_test_window: no display\n");
    return 1;
  }
  Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 120, 80, 0, 0, 0);
  XClassHint hint;
  hint.res_name = (char*)name;
  hint.res_class = (char*)cls;
  XSetClassHint(d, w, &hint);
  /* WM_NAME as Latin-1 text only when the title is ASCII; _NET_WM_NAME always. */
  int ascii = 1;
  for (const char* p = title; *p; ++p) {
    if ((unsigned char)*p >= 0x80) ascii = 0;
  }
  if (ascii) XStoreName(d, w, title);
  Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                  (const unsigned char*)title, (int)strlen(title));
  char host[256] = "";
  gethostname(host, sizeof host - 1);
  XTextProperty machine;
  char* hostList[] = {host};
  if (XStringListToTextProperty(hostList, 1, &machine)) {
    XSetWMClientMachine(d, w, &machine);
    XFree(machine.value);
  }
  long pid = (long)getpid();
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                  (const unsigned char*)&pid, 1);
  Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False);
  Atom deleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
  Atom velmarMessage = XInternAtom(d, "_VELMAR_WINDOW_MESSAGE", False);
  XSetWMProtocols(d, w, &deleteWindow, 1);
  XMapWindow(d, w);
  XSync(d, False);

  char line[128];
  snprintf(line, sizeof line, "ready %lu", (unsigned long)w);
  LogLine(line);

  for (;;) {
    XEvent e;
    XNextEvent(d, &e);
    if (e.type != ClientMessage || e.xclient.format != 32) continue;
    if (e.xclient.message_type == protocols && (Atom)e.xclient.data.l[0] == deleteWindow) {
      LogLine("close");
      if (refuse) continue;
      XDestroyWindow(d, w);
      XSync(d, False);
      LogLine("closed");
      XCloseDisplay(d);
      if (linger > 0) usleep((useconds_t)linger * 1000);
      return 0;
    }
    if (e.xclient.message_type == velmarMessage) {
      snprintf(line, sizeof line, "message %x %x %x", (unsigned)e.xclient.data.l[0],
               (unsigned)e.xclient.data.l[1], (unsigned)e.xclient.data.l[2]);
      LogLine(line);
    }
  }
}
