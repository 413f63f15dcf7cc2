// ParallelDeflater and InflateCheck over zlib.
#include "zip/parallel_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/cancel.h"
#include "zip/compression.h"
#include "zip/zip_errors.h"

namespace zip {
namespace {

// Blocks on their way at once: enough to keep every worker busy while the
// output thread writes, few enough to keep memory to a few megabytes.
std::size_t max_blocks_in_flight(std::size_t workers) { return 2 * workers + 2; }

}  // namespace

struct ParallelDeflater::Block {
  std::uint64_t seq = 0;
  // The dictionary (the 32 KiB before the block) followed by the block.
  std::vector<unsigned char> bytes;
  std::size_t dictionary = 0;
  bool last = false;
  bool done = false;
  std::string out;
  std::uint32_t crc = 0;
  std::size_t in_size = 0;  // bytes of the block, kept once they are freed
  std::size_t size() const { return bytes.size() - dictionary; }
};

ParallelDeflater::ParallelDeflater(int level, unsigned workers, DeflatedSink& sink)
    : level_(level), sink_(sink) {
  if (workers == 0) workers = std::max(1u, std::thread::hardware_concurrency());
  filling_ = std::make_unique<Block>();
  filling_->bytes.reserve(kBlockSize + kDictionarySize);
  try {
    for (unsigned k = 0; k < workers; ++k) threads_.emplace_back([this] { WorkerMain(); });
    threads_.emplace_back([this] { OutputMain(); });
  } catch (...) {
    Stop();
    throw;
  }
}

ParallelDeflater::~ParallelDeflater() { Stop(); }

void ParallelDeflater::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  work_ready_.notify_all();
  block_done_.notify_all();
  room_.notify_all();
  for (auto& t : threads_)
    if (t.joinable()) t.join();
  threads_.clear();
}

void ParallelDeflater::Fail(std::exception_ptr error) {
  {
    std::lock_guard lock(mutex_);
    if (!error_) error_ = error;
    stop_ = true;
  }
  work_ready_.notify_all();
  block_done_.notify_all();
  room_.notify_all();
}

void ParallelDeflater::RethrowIfFailed() {
  std::lock_guard lock(mutex_);
  if (error_) std::rethrow_exception(error_);
}

std::uint64_t ParallelDeflater::compressed_so_far() const {
  std::lock_guard lock(mutex_);
  return summary_.out_size;
}

void ParallelDeflater::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    Block& b = *filling_;
    const std::size_t n = std::min(bytes.size(), kBlockSize - b.size());
    b.bytes.insert(b.bytes.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    bytes.remove_prefix(n);
    if (b.size() == kBlockSize) Submit(false);
  }
}

void ParallelDeflater::Submit(bool last) {
  std::unique_ptr<Block> next = std::make_unique<Block>();
  next->bytes.reserve(kBlockSize + kDictionarySize);
  // The next block's dictionary: the last 32 KiB of this one (with its own
  // dictionary in front when the block is shorter).
  const std::size_t keep = std::min(kDictionarySize, filling_->bytes.size());
  next->bytes.assign(filling_->bytes.end() - static_cast<std::ptrdiff_t>(keep),
                     filling_->bytes.end());
  next->dictionary = keep;
  filling_->seq = next_seq_++;
  filling_->last = last;
  {
    std::unique_lock lock(mutex_);
    // Bounded memory: wait for room, a cancel of the run or a failure.
    while (!stop_ && owned_.size() >= max_blocks_in_flight(threads_.size() - 1)) {
      room_.wait_for(lock, std::chrono::milliseconds(platform::kCancelPollMs));
      if (platform::cancel_requested()) {
        lock.unlock();
        platform::throw_if_cancelled();
      }
    }
    if (error_) std::rethrow_exception(error_);
    if (stop_) throw std::logic_error("deflater stopped");
    if (last) last_seq_ = filling_->seq;
    queue_.push_back(filling_.get());
    owned_.push_back(std::move(filling_));
  }
  work_ready_.notify_one();
  filling_ = std::move(next);
}

DeflateSummary ParallelDeflater::Finish() {
  if (finished_) throw std::logic_error("deflater finished twice");
  finished_ = true;
  Submit(true);
  std::unique_lock lock(mutex_);
  while (!stop_ && next_out_ <= last_seq_) {
    block_done_.wait_for(lock, std::chrono::milliseconds(platform::kCancelPollMs));
    if (platform::cancel_requested()) {
      lock.unlock();
      platform::throw_if_cancelled();
      lock.lock();
    }
  }
  if (error_) std::rethrow_exception(error_);
  const DeflateSummary summary = summary_;
  lock.unlock();
  Stop();
  return summary;
}

namespace {

// A raw deflate stream per worker, reset for every block.
struct Deflater {
  z_stream z{};
  explicit Deflater(int level) {
    if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      throw ECompressionError(Z_MEM_ERROR);
  }
  ~Deflater() { deflateEnd(&z); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;
};

}  // namespace

void ParallelDeflater::WorkerMain() {
  try {
    Deflater d(level_);
    for (;;) {
      Block* b = nullptr;
      {
        std::unique_lock lock(mutex_);
        work_ready_.wait(lock, [&] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        b = queue_.front();
        queue_.pop_front();
      }
      const unsigned char* data = b->bytes.data() + b->dictionary;
      const std::size_t n = b->size();
      b->crc = crc32_update(0, data, n);
      b->in_size = n;
      int rc = deflateReset(&d.z);
      if (rc == Z_OK && b->dictionary > 0)
        rc = deflateSetDictionary(&d.z, b->bytes.data(), static_cast<uInt>(b->dictionary));
      if (rc != Z_OK) throw ECompressionError(rc);
      b->out.resize(deflateBound(&d.z, static_cast<uLong>(n)) + 16);
      d.z.next_in = const_cast<unsigned char*>(data);
      d.z.avail_in = static_cast<uInt>(n);
      d.z.next_out = reinterpret_cast<unsigned char*>(b->out.data());
      d.z.avail_out = static_cast<uInt>(b->out.size());
      rc = deflate(&d.z, b->last ? Z_FINISH : Z_SYNC_FLUSH);
      if (rc < 0 || d.z.avail_in != 0 || (b->last && rc != Z_STREAM_END))
        throw ECompressionError(rc < 0 ? rc : Z_BUF_ERROR);
      b->out.resize(b->out.size() - d.z.avail_out);
      // The input is no longer needed: only the compressed piece waits.
      std::vector<unsigned char>().swap(b->bytes);
      {
        std::lock_guard lock(mutex_);
        b->done = true;
      }
      block_done_.notify_all();
    }
  } catch (...) {
    Fail(std::current_exception());
  }
}

void ParallelDeflater::OutputMain() {
  try {
    for (;;) {
      Block* b = nullptr;
      {
        std::unique_lock lock(mutex_);
        block_done_.wait(lock, [&] {
          if (stop_) return true;
          for (const auto& o : owned_)
            if (o->seq == next_out_ && o->done) return true;
          return false;
        });
        if (stop_) return;
        for (const auto& o : owned_)
          if (o->seq == next_out_) b = o.get();
      }
      sink_.Put(b->out);
      {
        std::lock_guard lock(mutex_);
        // The original size of the block is its share of the summary.
        summary_.crc32 = static_cast<std::uint32_t>(
            crc32_combine(summary_.crc32, b->crc, static_cast<z_off_t>(b->in_size)));
        summary_.in_size += b->in_size;
        summary_.out_size += b->out.size();
        ++next_out_;
        owned_.erase(std::find_if(owned_.begin(), owned_.end(),
                                  [&](const auto& o) { return o.get() == b; }));
      }
      room_.notify_all();
      block_done_.notify_all();
    }
  } catch (...) {
    Fail(std::current_exception());
  }
}

// ---- InflateCheck -------------------------------------------------------------

struct InflateCheck::State {
  z_stream z{};
  bool ended = false;
  bool broken = false;
  bool trailing = false;
  std::uint64_t size = 0;
  std::uint32_t crc = 0;
  std::vector<unsigned char> out = std::vector<unsigned char>(1 << 18);
};

InflateCheck::InflateCheck() : state_(std::make_unique<State>()) {
  if (inflateInit2(&state_->z, -MAX_WBITS) != Z_OK) throw ECompressionError(Z_MEM_ERROR);
}

InflateCheck::~InflateCheck() { inflateEnd(&state_->z); }

void InflateCheck::Feed(std::string_view compressed) {
  State& s = *state_;
  if (s.broken) return;
  if (s.ended) {
    s.trailing = s.trailing || !compressed.empty();
    return;
  }
  s.z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  s.z.avail_in = static_cast<uInt>(compressed.size());
  do {
    s.z.next_out = s.out.data();
    s.z.avail_out = static_cast<uInt>(s.out.size());
    const int rc = inflate(&s.z, Z_NO_FLUSH);
    const std::size_t got = s.out.size() - s.z.avail_out;
    s.crc = crc32_update(s.crc, s.out.data(), got);
    s.size += got;
    if (rc == Z_STREAM_END) {
      s.ended = true;
      break;
    }
    if (rc == Z_BUF_ERROR) break;  // everything given is used up
    if (rc != Z_OK) {
      s.broken = true;
      return;
    }
  } while (s.z.avail_in > 0 || s.z.avail_out == 0);
  if (s.ended && s.z.avail_in > 0) s.trailing = true;
}

std::string InflateCheck::Result(std::uint64_t size, std::uint32_t crc32) const {
  const State& s = *state_;
  if (s.broken) return "the compressed data is not valid deflate data";
  if (!s.ended) return "the compressed data has no final block";
  if (s.trailing) return "bytes follow the final block of the compressed data";
  if (s.size != size) return "the compressed data inflates to another size";
  if (s.crc != crc32) return "the compressed data inflates to another CRC-32";
  return {};
}

}  // namespace zip
