// One raw deflate stream made on every core: the input is cut into blocks of
// kBlockSize bytes, each block is deflated by a worker thread with the 32 KiB
// before it as its dictionary and ended by a sync flush (the last one by the
// final block), so the pieces, joined in order, are one valid deflate stream.
// Each worker also takes the CRC-32 of its block; the block CRCs are combined,
// so the input is read once.
//
// Flow: ParallelDeflater d(level, workers, sink) -> Write(bytes)... ->
// Finish() -> DeflateSummary. The sink receives the compressed pieces in
// order on the deflater's output thread. Write and Finish are for one thread
// (the producer); they wait while kMaxBlocksInFlight blocks are on their way,
// so memory stays bounded, check the producer's cancel token while waiting
// and raise the first error of a worker or of the sink. The destructor stops
// and joins every thread, whether or not Finish was reached.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zip {

// Receives the compressed stream in order, on the deflater's output thread.
class DeflatedSink {
 public:
  virtual ~DeflatedSink() = default;
  virtual void Put(std::string_view compressed) = 0;
};

struct DeflateSummary {
  std::uint32_t crc32 = 0;
  std::uint64_t in_size = 0;
  std::uint64_t out_size = 0;
};

class ParallelDeflater {
 public:
  static constexpr std::size_t kBlockSize = 1 << 20;
  static constexpr std::size_t kDictionarySize = 32 * 1024;

  // workers 0: one per core.
  ParallelDeflater(int level, unsigned workers, DeflatedSink& sink);
  ~ParallelDeflater();
  ParallelDeflater(const ParallelDeflater&) = delete;
  ParallelDeflater& operator=(const ParallelDeflater&) = delete;

  void Write(std::string_view bytes);
  DeflateSummary Finish();
  // Bytes handed to the sink so far (any thread).
  std::uint64_t compressed_so_far() const;

 private:
  struct Block;
  void Submit(bool last);
  void WorkerMain();
  void OutputMain();
  void Fail(std::exception_ptr error);
  void RethrowIfFailed();
  void Stop();

  const int level_;
  DeflatedSink& sink_;
  std::unique_ptr<Block> filling_;
  std::uint64_t next_seq_ = 0;
  bool finished_ = false;

  mutable std::mutex mutex_;
  std::condition_variable work_ready_, block_done_, room_;
  std::deque<Block*> queue_;                   // waiting for a worker
  std::vector<std::unique_ptr<Block>> owned_;  // in flight, by any stage
  std::uint64_t next_out_ = 0;
  std::uint64_t last_seq_ = UINT64_MAX;  // sequence of the final block once known
  bool stop_ = false;
  std::exception_ptr error_;
  DeflateSummary summary_;
  std::vector<std::thread> threads_;
};

// Inflates a raw deflate stream piece by piece and keeps the size and CRC-32
// of what comes out: the check of a stream as it is written.
class InflateCheck {
 public:
  InflateCheck();
  ~InflateCheck();
  InflateCheck(const InflateCheck&) = delete;
  InflateCheck& operator=(const InflateCheck&) = delete;
  void Feed(std::string_view compressed);
  // Empty when the stream ended exactly with its final block and gave size
  // bytes of that CRC-32; otherwise the problem.
  std::string Result(std::uint64_t size, std::uint32_t crc32) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace zip
