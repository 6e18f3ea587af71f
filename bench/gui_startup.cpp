// Start-up time of the window: from process start to its top-level window being mapped on
// the X server, for Orvanta, for a minimal GTK 3 program that opens an empty window and
// for the same program showing one label, run alternately in the same job. Prints the
// medians and Orvanta's ratio to each.
//
//   bench_gui_startup [--runs N]     (default 15 timed runs of each, after one warm-up)
//
// Without a display it runs itself again under xvfb-run. Other options (the benchmark
// runner's) are ignored.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

struct program {
  const char *name;
  const char *path;
  std::vector<double> ms;
};

// The process id a top-level window's owner stored in _NET_WM_PID, or -1.
long window_pid(Display *display, Window window) {
  const Atom net_wm_pid = XInternAtom(display, "_NET_WM_PID", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char *data = nullptr;
  long pid = -1;
  if (XGetWindowProperty(display, window, net_wm_pid, 0, 1, False, XA_CARDINAL, &type, &format,
                         &count, &after, &data) == Success &&
      data != nullptr) {
    if (format == 32 && count == 1)
      pid = static_cast<long>(*reinterpret_cast<unsigned long *>(data));
    XFree(data);
  }
  return pid;
}

// Starts `path` and answers the milliseconds until the X server maps a top-level window
// that the new process owns, or nothing after ten seconds. The process is ended after.
std::optional<double> time_start_up(Display *display, const char *path) {
  XSync(display, True);  // drop notifications of earlier runs
  const auto start = clock_type::now();
  const pid_t pid = fork();
  if (pid < 0) return std::nullopt;
  if (pid == 0) {
    const int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd >= 0) {
      dup2(null_fd, STDOUT_FILENO);
      dup2(null_fd, STDERR_FILENO);
    }
    execl(path, path, static_cast<char *>(nullptr));
    _exit(127);
  }

  std::optional<double> elapsed;
  const auto deadline = start + std::chrono::seconds(10);
  while (!elapsed && clock_type::now() < deadline) {
    while (!elapsed && XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type != MapNotify || event.xmap.override_redirect) continue;
      const auto mapped = clock_type::now();
      if (window_pid(display, event.xmap.window) == pid) {
        elapsed = std::chrono::duration<double, std::milli>(mapped - start).count();
      }
    }
    pollfd fd = {ConnectionNumber(display), POLLIN, 0};
    if (!elapsed) poll(&fd, 1, 5);
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  return elapsed;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

}  // namespace

int main(int argc, char *argv[]) {
  int runs = 15;
  for (int k = 1; k < argc; ++k) {
    if (std::strcmp(argv[k], "--runs") == 0 && k + 1 < argc) runs = std::atoi(argv[++k]);
  }
  if (runs < 1) runs = 1;

  if (std::getenv("DISPLAY") == nullptr || std::getenv("DISPLAY")[0] == '\0') {
    const std::string runs_text = std::to_string(runs);
    std::fprintf(stderr, "bench_gui_startup: no display; running under xvfb-run\n");
    execlp("xvfb-run", "xvfb-run", "-a", "-s", "-screen 0 1024x768x24", argv[0], "--runs",
           runs_text.c_str(), static_cast<char *>(nullptr));
    std::perror("bench_gui_startup: xvfb-run");
    return 1;
  }
  setenv("GDK_BACKEND", "x11", 1);
  setenv("NO_AT_BRIDGE", "1", 1);

  Display *display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "bench_gui_startup: cannot open the display\n");
    return 1;
  }
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);

  program programs[] = {{"orvanta", ORVANTA_PROGRAM, {}},
                        {"minimal GTK 3 window", EMPTY_WINDOW_PROGRAM, {}},
                        {"same with one label", LABEL_WINDOW_PROGRAM, {}}};
  // One warm-up run each (page cache, font cache), then alternate so that both see the
  // same load on the machine.
  for (program &p : programs) time_start_up(display, p.path);
  for (int run = 0; run < runs; ++run) {
    for (program &p : programs) {
      const std::optional<double> ms = time_start_up(display, p.path);
      if (!ms) {
        std::fprintf(stderr, "bench_gui_startup: %s mapped no window\n", p.path);
        return 1;
      }
      p.ms.push_back(*ms);
    }
  }
  XCloseDisplay(display);

  std::printf("Start-up, process start to window mapped, %d runs each (ms):\n", runs);
  for (const program &p : programs) {
    std::printf("  %-22s median %7.1f   min %7.1f   max %7.1f\n", p.name, median(p.ms),
                *std::min_element(p.ms.begin(), p.ms.end()),
                *std::max_element(p.ms.begin(), p.ms.end()));
  }
  for (int k = 1; k < 3; ++k) {
    const double ratio = median(programs[0].ms) / median(programs[k].ms);
    std::printf("  orvanta / %-22s %.3f (%+.1f%%)\n", programs[k].name, ratio,
                (ratio - 1.0) * 100.0);
  }
  return 0;
}
