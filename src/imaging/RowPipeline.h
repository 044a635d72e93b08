// Decoding and encoding at once: a RowConsumer placed between the render and
// the encoder that hands the rows, a band at a time, to a second thread
// running the encoder, so that one export uses two cores. The rows reach the
// encoder in the same order and with the same bytes as without it, so the
// file written is the same.
//
// A second thread is taken only when a core is spare: every export holds a
// core of its own (ExportCore) while it runs, and a pipeline asks for one
// more. With as many exports under way as there are cores each keeps to one
// thread; when exports end and cores fall idle, those still running take a
// second thread at their next band.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "Render.h"

namespace tessaly {

// An export stopped from outside before it was complete; nothing is written.
class ExportCancelled : public PictureError {
 public:
  ExportCancelled() : PictureError(std::string("Export cancelled")) {}
};

// The cancel flag of the exports made on this thread while the scope lives,
// for those whose options name none: a run's worker sets it around each
// export it starts, however the export is reached.
class ExportCancelScope {
 public:
  explicit ExportCancelScope(const std::atomic<bool>* cancel);
  ~ExportCancelScope();
  ExportCancelScope(const ExportCancelScope&) = delete;
  ExportCancelScope& operator=(const ExportCancelScope&) = delete;
  static const std::atomic<bool>* Current();

 private:
  const std::atomic<bool>* previous_;
};

// How many threads an export may use: as the spare cores allow, one, or two
// whatever the other exports do (for tests and benchmarks).
enum class ExportThreads { Auto, One, Two };

// The core an export under way keeps busy, counted for as long as it lives.
class ExportCore {
 public:
  ExportCore();
  ~ExportCore();
  ExportCore(const ExportCore&) = delete;
  ExportCore& operator=(const ExportCore&) = delete;

  // Cores counted busy by exports (and their second threads) now.
  static int Busy();
};

class RowPipeline : public RowConsumer {
 public:
  // cancel, when given, is read before every band on both threads: once set,
  // both stop and the next call on this side throws ExportCancelled.
  RowPipeline(RowConsumer& encoder, ExportThreads threads, const std::atomic<bool>* cancel = nullptr);
  // Stops the second thread (after the band it is encoding) and waits for it.
  ~RowPipeline() override;
  RowPipeline(const RowPipeline&) = delete;
  RowPipeline& operator=(const RowPipeline&) = delete;

  void Begin(int width, int height) override;
  uint8_t* RowSpace() override;
  // Throws the encoder's error, or ExportCancelled.
  void Rows(const uint8_t* first, size_t stride, int count) override;
  // Waits until the encoder has every row; throws as Rows does.
  void Finish();

  // Whether a second thread has been running the encoder.
  bool Pipelined() const { return pipelined_; }
  bool HasSecondThread() const override { return pipelined_; }

 private:
  struct Chunk {
    const uint8_t* first;
    size_t stride;
    int count;
    int band;  // the band it lies in, -1 for the caller's own memory
  };

  void TryToStart();
  void CheckFailure();  // with the lock held
  void PushBand(std::unique_lock<std::mutex>& lock);
  void Work();

  RowConsumer& encoder_;
  ExportThreads threads_;
  const std::atomic<bool>* cancel_;
  size_t rowBytes_ = 0;
  int bandRows_ = 0;
  int rowsSinceTry_ = 0;
  bool pipelined_ = false;
  bool spareTaken_ = false;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::vector<uint8_t>> bands_;
  std::vector<int> free_;       // bands the decoder may fill
  std::vector<Chunk> queue_;    // waiting for the encoder, oldest first
  bool encoding_ = false;       // the encoder thread holds a chunk
  bool stop_ = false;
  std::exception_ptr failure_;  // the encoder's error, thrown on this side
  int filling_ = -1;            // the band being filled, -1 none
  int filled_ = 0;              // rows of it filled
  std::thread thread_;
};

}  // namespace tessaly
