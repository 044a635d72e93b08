#include "RowPipeline.h"

#include <algorithm>
#include <cstring>

namespace tessaly {

namespace {

// A band of about a megabyte: few hand-overs between the threads (about a
// hundred for a 45-megapixel photo), little memory.
constexpr size_t kBandBytes = size_t(1) << 20;
constexpr int kMinBandRows = 16;  // one row of 4:2:0 MCUs
constexpr int kMaxBandRows = 256;

std::atomic<int> busyCores{0};

int Cores() {
  static const int cores = std::max(1, int(std::thread::hardware_concurrency()));
  return cores;
}

// One more core for a second thread, when one is idle.
bool TakeSpareCore() {
  int busy = busyCores.load();
  while (busy < Cores())
    if (busyCores.compare_exchange_weak(busy, busy + 1)) return true;
  return false;
}

}  // namespace

namespace {
thread_local const std::atomic<bool>* currentCancel = nullptr;
}

ExportCancelScope::ExportCancelScope(const std::atomic<bool>* cancel) : previous_(currentCancel) {
  currentCancel = cancel;
}
ExportCancelScope::~ExportCancelScope() { currentCancel = previous_; }
const std::atomic<bool>* ExportCancelScope::Current() { return currentCancel; }

ExportCore::ExportCore() { ++busyCores; }
ExportCore::~ExportCore() { --busyCores; }
int ExportCore::Busy() { return busyCores.load(); }

RowPipeline::RowPipeline(RowConsumer& encoder, ExportThreads threads, const std::atomic<bool>* cancel)
    : encoder_(encoder), threads_(threads), cancel_(cancel) {}

RowPipeline::~RowPipeline() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (spareTaken_) --busyCores;
}

void RowPipeline::Begin(int width, int height) {
  if (cancel_ && cancel_->load()) throw ExportCancelled();
  encoder_.Begin(width, height);
  rowBytes_ = size_t(std::max(width, 1)) * 3;
  bandRows_ = int(std::clamp<size_t>(kBandBytes / rowBytes_, kMinBandRows, kMaxBandRows));
  TryToStart();
}

// Starts the encoder's thread when the export may have one.
void RowPipeline::TryToStart() {
  rowsSinceTry_ = 0;
  if (pipelined_ || threads_ == ExportThreads::One) return;
  if (threads_ == ExportThreads::Auto) {
    if (!TakeSpareCore()) return;
    spareTaken_ = true;
  }
  bands_.assign(2, std::vector<uint8_t>(rowBytes_ * size_t(bandRows_)));
  free_ = {1, 0};
  pipelined_ = true;
  thread_ = std::thread([this] { Work(); });
}

void RowPipeline::CheckFailure() {
  if (failure_) std::rethrow_exception(failure_);
  if (cancel_ && cancel_->load()) throw ExportCancelled();
}

uint8_t* RowPipeline::RowSpace() {
  if (!pipelined_) return nullptr;
  if (filling_ < 0) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !free_.empty() || failure_ || (cancel_ && cancel_->load()); });
    CheckFailure();
    filling_ = free_.back();
    free_.pop_back();
    filled_ = 0;
  }
  return bands_[size_t(filling_)].data() + size_t(filled_) * rowBytes_;
}

// Hands the band being filled to the encoder.
void RowPipeline::PushBand(std::unique_lock<std::mutex>&) {
  if (filling_ < 0) return;
  if (filled_ > 0) {
    queue_.push_back({bands_[size_t(filling_)].data(), rowBytes_, filled_, filling_});
  } else {
    free_.push_back(filling_);
  }
  filling_ = -1;
  filled_ = 0;
  changed_.notify_all();
}

void RowPipeline::Rows(const uint8_t* first, size_t stride, int count) {
  if (count <= 0) return;
  if (!pipelined_) {
    if (cancel_ && cancel_->load()) throw ExportCancelled();
    encoder_.Rows(first, stride, count);
    // A core may have fallen idle since (another export ended).
    if ((rowsSinceTry_ += count) >= bandRows_) TryToStart();
    return;
  }
  // The usual way: the row was made in the space RowSpace gave.
  if (count == 1 && filling_ >= 0 && first == bands_[size_t(filling_)].data() + size_t(filled_) * rowBytes_) {
    if (++filled_ == bandRows_) {
      std::unique_lock lock(mutex_);
      CheckFailure();
      PushBand(lock);
    }
    return;
  }
  if (count < bandRows_) {
    for (int i = 0; i < count; ++i) {
      uint8_t* space = RowSpace();
      std::memcpy(space, first + size_t(i) * stride, rowBytes_);
      Rows(space, rowBytes_, 1);
    }
    return;
  }
  // A long run of the caller's own rows (the band with the stamp) is encoded
  // from where it lies; the caller's memory is only good until this returns.
  std::unique_lock lock(mutex_);
  CheckFailure();
  PushBand(lock);
  queue_.push_back({first, stride, count, -1});
  changed_.notify_all();
  changed_.wait(lock, [this] { return (queue_.empty() && !encoding_) || failure_ || (cancel_ && cancel_->load()); });
  CheckFailure();
}

void RowPipeline::Finish() {
  if (!pipelined_) {
    if (cancel_ && cancel_->load()) throw ExportCancelled();
    return;
  }
  std::unique_lock lock(mutex_);
  CheckFailure();
  PushBand(lock);
  changed_.wait(lock, [this] { return (queue_.empty() && !encoding_) || failure_ || (cancel_ && cancel_->load()); });
  CheckFailure();
  stop_ = true;
  changed_.notify_all();
  lock.unlock();
  thread_.join();
}

// The encoder's thread: encodes chunks in order until stopped, and stops at
// the first error or when cancelled.
void RowPipeline::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (stop_ || failure_) return;
    const Chunk chunk = queue_.front();
    queue_.erase(queue_.begin());
    encoding_ = true;
    lock.unlock();
    std::exception_ptr failure;
    try {
      if (cancel_ && cancel_->load()) throw ExportCancelled();
      encoder_.Rows(chunk.first, chunk.stride, chunk.count);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    encoding_ = false;
    if (chunk.band >= 0) free_.push_back(chunk.band);
    if (failure) failure_ = failure;
    changed_.notify_all();
    if (failure_) return;
  }
}

}  // namespace tessaly
