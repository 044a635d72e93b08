// The window at scale: N photos of mixed sizes (default 300; a third under
// 1 MP, some up to 24 MP, with gradients, texture and grain so they compress
// like photos), made once and kept in a temporary folder. In the same run:
//  - the window opening them as the command line does, offscreen: time to
//    its first paint, time until every thumbnail is shown, Export All's
//    time, the longest gap of a 10 ms timer (the event loop's worst stall)
//    while opening and during Export All, and the peak memory (VmHWM);
//    then the longest stall around Apply on a 24 MP photo and around
//    "Шрифт для всех" over all the photos;
//  - libjpeg-turbo over the same files: a serial `djpeg -scale 1/8` pass, a
//    serial and a two-process `djpeg | cjpeg -quality 100 -baseline` pass;
//  - tessaly-stamp -j 2 (and -j 1 for its memory) on them;
// then the ratios between them. Each measurement runs in a fresh process.
// Prints figures; it never fails on a slow machine.
//
//   bench_window [N]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ImageView.h"
#include "ImgMain.h"
#include "ImgPanel.h"
#include "JpegCodec.h"

extern char** environ;

using namespace tessaly;

namespace {

QElapsedTimer g_clock;  // from the start of main

double Now() { return g_clock.nsecsElapsed() / 1e9; }

// ---------------------------------------------------------------------------
// The photos

struct Size {
  int width, height;
};

// One photo in twenty of each kind: 6 under 1 MP, 3 over 13 MP, 11 between;
// every fourth one upright.
Size PhotoSize(int i) {
  static const Size kSmall[] = {{640, 480}, {800, 600}, {1024, 768}};
  static const Size kLarge[] = {{4608, 3072}, {4928, 3264}, {6000, 4000}};
  static const Size kMedium[] = {{1600, 1200}, {2592, 1944}, {3264, 2448}, {4000, 3000}};
  const int slot = i % 20;
  Size s = slot < 6 ? kSmall[i % 3] : slot < 9 ? kLarge[i % 3] : kMedium[i % 4];
  if (i % 4 == 3) std::swap(s.width, s.height);
  return s;
}

// Smooth shapes at two scales, texture and grain; about 2 bits per pixel at
// quality 92.
QImage MakePhoto(Size size, uint32_t seed) {
  QImage image(size.width, size.height, QImage::Format_RGB888);
  uint32_t state = 0x9E3779B9u * (seed + 1);
  const float fx = 6.2831853f / float(size.width), fy = 6.2831853f / float(size.height);
  std::vector<float> colWave(size_t(size.width) * 3);
  for (int x = 0; x < size.width; ++x)
    for (int c = 0; c < 3; ++c)
      colWave[size_t(3 * x + c)] = 60.0f * std::sin(x * fx * (1.3f + 0.4f * c) + float(seed)) +
                                   14.0f * std::sin(x * 0.11f + c);
  for (int y = 0; y < size.height; ++y) {
    uint8_t* line = image.scanLine(y);
    float rowWave[3];
    for (int c = 0; c < 3; ++c)
      rowWave[c] = 110.0f + 50.0f * std::cos(y * fy * (0.9f + 0.5f * c) + float(seed) * 0.7f) +
                   12.0f * std::sin(y * 0.07f + 2 * c);
    for (int x = 0; x < size.width; ++x) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      const float grain = float(int(state & 15) - 8) * 0.9f;
      const float texture = ((x / 7 + y / 5) & 3) * 3.0f;
      for (int c = 0; c < 3; ++c) {
        const float v = rowWave[c] + colWave[size_t(3 * x + c)] + grain + texture;
        line[3 * x + c] = uint8_t(std::clamp(v, 0.0f, 255.0f));
      }
    }
  }
  return image;
}

QStringList PhotoFiles(const QString& folder) {
  QStringList files;
  for (const QString& name : QDir(folder).entryList({"*.jpg"}, QDir::Files, QDir::Name))
    files << folder + "/" + name;
  return files;
}

int MakePhotos(const QString& folder, int count) {
  QDir().mkpath(folder);
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t)
    workers.emplace_back([&, t] {
      for (int i = int(t); i < count; i += int(threads)) {
        const QString path = QStringLiteral("%1/IMG_%2.jpg").arg(folder).arg(i, 4, 10, QChar('0'));
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        WriteJpeg(fd, MakePhoto(PhotoSize(i), uint32_t(i)), path, 92);
        ::close(fd);
      }
    });
  for (std::thread& w : workers) w.join();
  QFile marker(folder + "/complete");
  marker.open(QIODevice::WriteOnly);
  return 0;
}

// ---------------------------------------------------------------------------
// The window, in a child process: key=value figures on stdout.

long PeakKb() {
  QFile status("/proc/self/status");
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  return 0;
}

class FirstPaint : public QObject {
 public:
  double at = -1;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (at < 0 && event->type() == QEvent::Paint && watched->isWidgetType()) at = Now();
    return false;
  }
};

int WindowChild(int& argc, char** argv, const QString& folder) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QStringList files = PhotoFiles(folder);
  const QString exeDir = QDir::tempPath() + "/tessaly-window-bench-exe";
  QDir().mkpath(exeDir);
  FirstPaint paint;
  app.installEventFilter(&paint);

  enum Phase { kOpening, kExporting, kDone } phase = kOpening;
  double last = 0, worstOpen = 0, worstExport = 0, thumbnails = 0, exportStart = 0, exportEnd = 0;
  QStringList errors;

  TImageForm form(exeDir);
  form.ShowError = [&](const QString& m) { errors << m; };
  form.setGeometry(form.screen()->availableGeometry());
  form.showMaximized();
  const double openStart = Now();
  last = openStart;
  form.OpenPicture1Accept(files);
  const double openCall = Now() - openStart;
  const RenderTarget thumb = form.Panels().isEmpty() ? RenderTarget{} : form.Panels()[0]->Thumbnail->Target();
  const RenderTarget view = form.Image1->Target();
  double firstTick = -1, worstOpenAt = 0;

  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  tick.setInterval(10);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const double now = Now();
    const double gap = now - last;
    last = now;
    if (firstTick < 0) firstTick = now;
    if (phase == kOpening) {
      if (gap > worstOpen) worstOpenAt = now - openStart;
      worstOpen = std::max(worstOpen, gap);
      if (!form.LoadingPictures()) {
        thumbnails = now - openStart;
        phase = kExporting;
        exportStart = Now();
        form.ExportAllAction->trigger();
        last = Now();
      }
    } else if (phase == kExporting) {
      worstExport = std::max(worstExport, gap);
      if (!form.ExportRunning()) {
        exportEnd = now;
        phase = kDone;
        // exit, not quit: quit asks the windows to close first, and the
        // window stays open for the stalls measured next.
        QCoreApplication::exit(0);
      }
    }
  });
  tick.start();
  QApplication::exec();

  // The longest stall of the event loop around one action on the 24 MP
  // photo (the ninth one made), selected: Apply, then "Шрифт для всех".
  const auto stallOf = [&](QAction* action) {
    double worst = 0, previous = Now();
    QTimer gaps;
    gaps.setTimerType(Qt::PreciseTimer);
    gaps.setInterval(10);
    QObject::connect(&gaps, &QTimer::timeout, [&] {
      worst = std::max(worst, Now() - previous);
      previous = Now();
    });
    gaps.start();
    QTimer::singleShot(20, action, &QAction::trigger);
    QEventLoop loop;
    QTimer::singleShot(1500, &loop, &QEventLoop::quit);
    loop.exec();
    return worst;
  };
  double stallApply = -1, stallFontToAll = -1;
  const QList<TImgPanel*> panels = form.Panels();
  for (TImgPanel* panel : panels) {
    if (panel->PictureWidth != 6000 || panel->PictureHeight != 4000) continue;
    panel->PanelClick();
    QEventLoop settle;  // the selection's own preview is drawn first
    QTimer::singleShot(1000, &settle, &QEventLoop::quit);
    settle.exec();
    form.ApplyAction->setEnabled(true);
    stallApply = stallOf(form.ApplyAction);
    stallFontToAll = stallOf(form.FontToAllAction);
    break;
  }
  for (const QString& e : errors) std::fprintf(stderr, "error: %s\n", qPrintable(e));
  std::printf("stall_apply=%.4f stall_font_to_all=%.4f\n", stallApply, stallFontToAll);
  std::printf("photos=%lld open_call=%.4f first_paint=%.4f thumbnails=%.4f stall_open=%.4f "
              "stall_open_at=%.4f first_tick=%.4f export=%.4f stall_export=%.4f peak_kb=%ld\n",
              static_cast<long long>(files.size()), openCall, paint.at, thumbnails, worstOpen, worstOpenAt,
              firstTick - openStart, exportEnd - exportStart, worstExport, PeakKb());
  std::printf("thumb_w=%d thumb_h=%d view_w=%d view_h=%d\n", thumb.width, thumb.height, view.width, view.height);
  std::fflush(stdout);
  QDir(folder + "/Export").removeRecursively();
  std::_Exit(0);  // the window's font file is not written
}

// ---------------------------------------------------------------------------
// Child processes: time and peak memory

struct Run {
  double seconds = 0;
  long peakKb = 0;
  std::string output;
};

pid_t Start(const std::vector<std::string>& args, const std::string& out) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Runs each command, at most `parallel` at once: the wall time and the
// largest peak of any one of them.
Run RunAll(const std::vector<std::vector<std::string>>& commands, int parallel, const std::string& out = "/dev/null") {
  Run run;
  const double start = Now();
  size_t next = 0;
  int running = 0;
  while (next < commands.size() || running > 0) {
    while (running < parallel && next < commands.size()) {
      if (Start(commands[next++], out) > 0) ++running;
    }
    int status = 0;
    rusage usage{};
    if (::wait4(-1, &status, 0, &usage) <= 0) break;
    --running;
    run.peakKb = std::max(run.peakKb, long(usage.ru_maxrss));
  }
  run.seconds = Now() - start;
  if (out != "/dev/null") {
    QFile f(QString::fromStdString(out));
    if (f.open(QIODevice::ReadOnly)) run.output = f.readAll().toStdString();
  }
  return run;
}

double Field(const std::string& output, const std::string& key) {
  const size_t at = output.find(key + "=");
  return at == std::string::npos ? -1 : std::atof(output.c_str() + at + key.size() + 1);
}

}  // namespace

int main(int argc, char** argv) {
  g_clock.start();
  if (argc == 3 && std::string(argv[1]) == "--window") return WindowChild(argc, argv, QString::fromLocal8Bit(argv[2]));
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
  const QString folder = QStringLiteral("%1/tessaly-window-bench-%2").arg(QDir::tempPath()).arg(count);
  if (!QFile::exists(folder + "/complete")) {
    std::printf("Making %d photos in %s (kept for later runs)...\n", count, qPrintable(folder));
    std::fflush(stdout);
    const double t = Now();
    MakePhotos(folder, count);
    std::printf("made in %.1f s\n", Now() - t);
  }
  QDir(folder + "/Export").removeRecursively();
  const QStringList files = PhotoFiles(folder);
  qint64 bytes = 0;
  double megapixels = 0;
  int small = 0, large = 0;
  for (int i = 0; i < files.size(); ++i) {
    bytes += QFileInfo(files[i]).size();
    const Size s = PhotoSize(i);
    const double mp = s.width * double(s.height) / 1e6;
    megapixels += mp;
    small += mp < 1;
    large += mp > 13;
  }
  std::printf("%lld photos (%d under 1 MP, %d over 13 MP), %.0f MB, %.0f megapixels; %u cores\n\n",
              static_cast<long long>(files.size()), small, large, bytes / 1e6, megapixels,
              std::thread::hardware_concurrency());
  std::fflush(stdout);

  const std::string self = QFile::decodeName(argv[0]).toStdString();
  const std::string binDir = QFileInfo(QString::fromStdString(self)).absolutePath().toStdString();
  const std::string capture = QDir::tempPath().toStdString() + "/tessaly-window-bench-out.txt";
  std::vector<std::string> paths;
  for (const QString& f : files) paths.push_back(f.toStdString());

  // libjpeg-turbo's own passes.
  std::vector<std::vector<std::string>> scaled, pipes;
  for (const std::string& p : paths) {
    scaled.push_back({"/usr/bin/djpeg", "-scale", "1/8", p});
    pipes.push_back({"/bin/sh", "-c", "/usr/bin/djpeg '" + p + "' | /usr/bin/cjpeg -quality 100 -baseline"});
  }
  const Run djpegScaled = RunAll(scaled, 1);
  const Run pipeSerial = RunAll(pipes, 1);
  const Run pipeTwo = RunAll(pipes, 2);

  // The window.
  const Run window = RunAll({{self, "--window", folder.toStdString()}}, 1, capture);
  const std::string& w = window.output;

  // The batch command.
  std::vector<std::string> stamp2{binDir + "/tessaly-stamp", "-j", "2"}, stamp1{binDir + "/tessaly-stamp", "-j", "1"};
  stamp2.insert(stamp2.end(), paths.begin(), paths.end());
  stamp1.insert(stamp1.end(), paths.begin(), paths.end());
  const Run batch2 = RunAll({stamp2}, 1);
  QDir(folder + "/Export").removeRecursively();
  const Run batch1 = RunAll({stamp1}, 1);
  QDir(folder + "/Export").removeRecursively();

  const double thumbnails = Field(w, "thumbnails"), exportAll = Field(w, "export");
  std::printf("window (offscreen, opened as from the command line):\n");
  std::printf("  first paint           %8.3f s after the start  (OpenPicture1Accept itself %.3f s)\n",
              Field(w, "first_paint"), Field(w, "open_call"));
  std::printf("  all thumbnails shown  %8.3f s after opening began\n", thumbnails);
  std::printf("  longest stall         %8.3f s while opening (ending %.3f s after it began; the loop's first "
              "turn %.3f s after), %.3f s during Export All\n",
              Field(w, "stall_open"), Field(w, "stall_open_at"), Field(w, "first_tick"), Field(w, "stall_export"));
  std::printf("  Export All            %8.3f s\n", exportAll);
  std::printf("  peak memory (VmHWM)   %8.1f MB\n", Field(w, "peak_kb") / 1000.0);
  std::printf("  (thumbnails made for a view of %.0f x %.0f, the preview for %.0f x %.0f)\n", Field(w, "thumb_w"),
              Field(w, "thumb_h"), Field(w, "view_w"), Field(w, "view_h"));
  std::printf("libjpeg-turbo, same files:\n");
  std::printf("  djpeg -scale 1/8, serial                          %8.3f s\n", djpegScaled.seconds);
  std::printf("  djpeg | cjpeg -quality 100 -baseline, serial      %8.3f s\n", pipeSerial.seconds);
  std::printf("  djpeg | cjpeg -quality 100 -baseline, 2 processes %8.3f s\n", pipeTwo.seconds);
  std::printf("tessaly-stamp:\n");
  std::printf("  -j 2  %8.3f s, peak %.1f MB\n", batch2.seconds, batch2.peakKb / 1000.0);
  std::printf("  -j 1  %8.3f s, peak %.1f MB\n", batch1.seconds, batch1.peakKb / 1000.0);
  // One export band: the rows from a line above the date to the bottom of
  // the widest photo, about a twelfth of its height at the default size.
  const double bandMb = 6000.0 * 4000 / 12 * 3 / 1e6;
  std::printf("  longest stall, Apply on a 24 MP photo          %8.3f s (target <= 0.050)\n",
              Field(w, "stall_apply"));
  std::printf("  longest stall, \"Шрифт для всех\" over %lld photos %8.3f s (target <= 0.050)\n",
              static_cast<long long>(Field(w, "photos")), Field(w, "stall_font_to_all"));
  std::printf("\nratios (targets on 2 cores):\n");
  std::printf("  first paint %.3f s (<= 0.5 s); stalls %.3f / %.3f s (<= 0.1 s)\n", Field(w, "first_paint"),
              Field(w, "stall_open"), Field(w, "stall_export"));
  std::printf("  thumbnails / serial djpeg -scale 1/8:      %.2f (<= 0.65)\n", thumbnails / djpegScaled.seconds);
  std::printf("  Export All / serial djpeg | cjpeg:         %.2f (<= 0.65); / 2-process pass %.2f\n",
              exportAll / pipeSerial.seconds, exportAll / pipeTwo.seconds);
  std::printf("  tessaly-stamp -j 2 / serial djpeg | cjpeg: %.2f (<= 0.65); / 2-process pass %.2f\n",
              batch2.seconds / pipeSerial.seconds, batch2.seconds / pipeTwo.seconds);
  std::printf("  tessaly-stamp peak -j 2 minus -j 1:        %.1f MB (<= one export band, about %.1f MB)\n",
              (batch2.peakKb - batch1.peakKb) / 1000.0, bandMb);
  return 0;
}
