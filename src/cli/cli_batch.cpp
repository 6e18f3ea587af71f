// The batch pipeline. The reading thread fills chunks of rows and hands each on as soon as
// it is full or the input has nothing more ready (so a pipe's first rows are priced before
// it is closed). Pricing threads take chunks in order, price their rows and compose their
// records; whichever thread finishes the oldest chunk writes every finished chunk in order.
// At most a fixed number of chunks exists at once, so memory does not grow with the file.
#include "cli/cli_batch.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/cli_prediction.hpp"

namespace {

// A run of rows and, once priced, their records.
struct chunk {
  std::vector<csv_row> rows;  // `count` rows in use; the others keep their buffers
  std::size_t count = 0;
  std::string out;      // the records
  std::string err;      // --verbose: row numbers, diagnostic blocks and reasons
  bool priced = false;  // `out` and `err` are complete
};

// What every pricing thread reuses from row to row.
struct worker_state {
  cli_form form;
  cli_prediction prediction;
};

// Writes all of `bytes` to `fd`; false (errno set) when it cannot.
bool write_all(int fd, const std::string &bytes) {
  const char *p = bytes.data();
  std::size_t n = bytes.size();
  while (n > 0) {
    const ssize_t written = ::write(fd, p, n);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += written;
    n -= static_cast<std::size_t>(written);
  }
  return true;
}

class pipeline {
 public:
  pipeline(csv_file *file, const batch_settings *settings, int out_fd)
      : file_(file),
        settings_(settings),
        out_fd_(out_fd),
        pricer_(create_batch_pricer(settings->path, settings->path_given, settings->verbose)),
        extra_(name_extra_columns(csv_other_columns(file))) {
    threads_ = settings->threads != 0 ? settings->threads : std::thread::hardware_concurrency();
    threads_ = std::max(1u, threads_);
    chunks_.resize(4 * static_cast<std::size_t>(threads_));
    for (chunk &c : chunks_) c.rows.resize(std::max(1u, settings->chunk_rows));
  }

  batch_result run() {
    // The threads first, before anything is written: where the system grants fewer than
    // asked (a memory limit, a limit on processes), the batch goes on with those it got.
    std::vector<std::thread> workers;
    try {
      workers.reserve(threads_);
      while (workers.size() < threads_) workers.emplace_back([this] { price_chunks(); });
    } catch (const std::system_error &e) {
      result_.thread_error = e.what();
    } catch (const std::bad_alloc &) {
      result_.thread_error = "out of memory";
    }
    result_.threads = static_cast<unsigned>(workers.size());
    if (workers.empty()) return result_;
    std::string header;
    append_header(settings_->format, true, &header, &extra_);
    if (write_all(out_fd_, header)) {
      read_chunks();
    } else {
      result_.write_error = std::strerror(errno);
      std::lock_guard lock(mutex_);
      stopped_ = true;
      work_ready_.notify_all();
    }
    for (std::thread &t : workers) t.join();
    return result_;
  }

 private:
  // *** Reading: the calling thread
  void read_chunks() {
    for (std::uint64_t next = 0;; ++next) {
      chunk *c;
      {
        std::unique_lock lock(mutex_);
        slot_free_.wait(lock, [&] { return next - written_ < chunks_.size() || stopped_; });
        if (stopped_) break;
        c = &chunks_[next % chunks_.size()];
      }
      c->count = 0;
      c->priced = false;
      int r = 1;
      std::string error;
      std::size_t bytes = 0;
      while (c->count < c->rows.size() && bytes < settings_->chunk_bytes) {
        // Rows held go on before a read that may wait for the writer of a pipe.
        if (c->count > 0 && !csv_row_ready(file_)) break;
        r = read_csv_row(file_, &c->rows[c->count], &error);
        if (r != 1) break;
        bytes += c->rows[c->count].bytes;
        ++c->count;
      }
      std::lock_guard lock(mutex_);
      if (c->count > 0) {
        ++dispatched_;
        work_ready_.notify_one();
      }
      if (r != 1) {
        if (r < 0) result_.read_error = error;
        input_done_ = true;
        work_ready_.notify_all();
        break;
      }
    }
    std::lock_guard lock(mutex_);
    input_done_ = true;
    work_ready_.notify_all();
  }

  // *** Pricing: each worker thread
  void price_chunks() {
    worker_state state;
    for (;;) {
      std::uint64_t seq;
      {
        std::unique_lock lock(mutex_);
        work_ready_.wait(lock, [&] { return taken_ < dispatched_ || input_done_ || stopped_; });
        if (stopped_ || taken_ == dispatched_) return;
        seq = taken_++;
      }
      chunk &c = chunks_[seq % chunks_.size()];
      price_chunk(&c, &state);
      std::unique_lock lock(mutex_);
      c.priced = true;
      if (writing_) continue;  // the thread writing will reach this chunk
      writing_ = true;
      write_finished(lock);
      writing_ = false;
    }
  }

  void price_chunk(chunk *c, worker_state *state) {
    c->out.clear();
    c->err.clear();
    std::FILE *diagnostics = nullptr;
    char *diagnostics_text = nullptr;
    std::size_t diagnostics_size = 0;
    if (settings_->verbose) diagnostics = open_memstream(&diagnostics_text, &diagnostics_size);
    std::uint64_t priced = 0, failed = 0, unreadable = 0;
    for (std::size_t i = 0; i < c->count; ++i) {
      csv_row &row = c->rows[i];
      const bool first = row.number == 1;
      read_batch_form(&row, &state->form);
      if (!row.error.empty()) {
        append_row_error(settings_->format, first, row.number, row.error, &c->out, &extra_, &row);
        ++unreadable;
        continue;
      }
      if (diagnostics != nullptr)
        std::fprintf(diagnostics, "orvanta-cli: row %llu\n",
                     static_cast<unsigned long long>(row.number));
      price_form(pricer_.get(), &state->form, diagnostics, &state->prediction);
      if (state->prediction.status == PREDICTION_FAILED) {
        ++failed;
        if (diagnostics != nullptr)
          std::fprintf(diagnostics, "orvanta-cli: row %llu: %s\n",
                       static_cast<unsigned long long>(row.number),
                       state->prediction.details.reason.c_str());
      }
      append_prediction(settings_->format, true, first, row.number, &state->form,
                        &state->prediction, &c->out, &extra_, &row);
      ++priced;
    }
    if (diagnostics != nullptr) {
      std::fclose(diagnostics);
      c->err.assign(diagnostics_text, diagnostics_size);
      std::free(diagnostics_text);
    }
    std::lock_guard lock(mutex_);
    result_.priced += priced;
    result_.failed += failed;
    result_.unreadable += unreadable;
  }

  // Writes the finished chunks at the head of the order; called with the lock held by the
  // one thread that writes, which lets go of it while writing.
  void write_finished(std::unique_lock<std::mutex> &lock) {
    while (written_ < dispatched_ && !stopped_) {
      chunk &c = chunks_[written_ % chunks_.size()];
      if (!c.priced) return;
      lock.unlock();
      if (!c.err.empty()) std::fwrite(c.err.data(), 1, c.err.size(), stderr);
      const bool ok = write_all(out_fd_, c.out);
      const int error = errno;
      lock.lock();
      if (!ok) {
        result_.write_error = std::strerror(error);
        stopped_ = true;
        work_ready_.notify_all();
      }
      ++written_;
      slot_free_.notify_one();
    }
  }

  csv_file *file_;
  const batch_settings *settings_;
  int out_fd_;
  batch_pricer_ptr pricer_;
  const extra_columns extra_;  // the names the records give the file's other columns
  unsigned threads_ = 1;
  std::vector<chunk> chunks_;  // chunk number k lives in slot k % size

  std::mutex mutex_;
  std::condition_variable work_ready_;  // a chunk to price, or the end
  std::condition_variable slot_free_;   // a chunk was written
  std::uint64_t dispatched_ = 0;        // chunks handed to the pricing threads
  std::uint64_t taken_ = 0;             // chunks a pricing thread has taken
  std::uint64_t written_ = 0;           // chunks written
  bool input_done_ = false;
  bool writing_ = false;
  bool stopped_ = false;  // the records could not be written: nothing more is done
  batch_result result_;
};

}  // namespace

batch_result price_batch_rows(csv_file *file, const batch_settings *settings, int out_fd) {
  try {
    pipeline p(file, settings, out_fd);
    return p.run();
  } catch (const std::bad_alloc &) {
    batch_result result;
    result.thread_error = "out of memory";  // before any thread or record
    return result;
  }
}
