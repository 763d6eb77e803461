#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QtConcurrent/QtConcurrentRun>

// Runs one piece of long work at a time on a worker thread and hands its
// result (or its exception) back on the GUI thread. The work polls a cancel
// flag; Post() lets it send progress to the GUI thread in order.
class TWorkRunner : public QObject {
  Q_OBJECT

 public:
  using CancelFlag = std::atomic<bool>;

  explicit TWorkRunner(QObject* parent = nullptr) : QObject(parent) {}
  ~TWorkRunner() override { Stop(); }

  bool Busy() const { return busy_; }
  // What runs now ("Extracting"), for the refusal of other work.
  const QString& What() const { return what_; }
  void Cancel() { cancel_->store(true); }
  bool Cancelled() const { return cancel_->load(); }
  // Cancels and waits for the worker (the window closes). Whatever the work
  // would still hand back, its result or what it posted, is dropped: the
  // window it was meant for is going away.
  void Stop() {
    if (!busy_) return;
    Cancel();
    future_.waitForFinished();
    ++generation_;
    busy_ = false;
    what_.clear();
  }

  // Queues f to run on the GUI thread, after what was posted before it
  // (unless Stop comes first).
  void Post(std::function<void()> f) {
    QMetaObject::invokeMethod(
        this,
        [this, f = std::move(f), generation = generation_.load()] {
          if (generation == generation_.load()) f();
        },
        Qt::QueuedConnection);
  }

  // Starts work unless other work runs (then returns false). `done` gets the
  // result, `failed` the exception; both run on the GUI thread.
  template <class R>
  bool Start(const QString& what, std::function<R(const CancelFlag&)> work, std::function<void(R&)> done,
             std::function<void(std::exception_ptr)> failed) {
    if (busy_) return false;
    busy_ = true;
    what_ = what;
    cancel_ = std::make_shared<CancelFlag>(false);
    auto result = std::make_shared<std::optional<R>>();
    auto error = std::make_shared<std::exception_ptr>();
    auto cancel = cancel_;
    auto* watcher = new QFutureWatcher<void>(this);
    const int generation = generation_.load();
    connect(watcher, &QFutureWatcher<void>::finished, this, [this, watcher, generation, result, error, done, failed] {
      watcher->deleteLater();
      if (generation != generation_.load()) return;  // stopped
      busy_ = false;
      what_.clear();
      if (*error)
        failed(*error);
      else
        done(**result);
      emit Finished();
    });
    future_ = QtConcurrent::run([work, result, error, cancel] {
      try {
        result->emplace(work(*cancel));
      } catch (...) {
        *error = std::current_exception();
      }
    });
    watcher->setFuture(future_);
    return true;
  }

 signals:
  void Finished();

 private:
  bool busy_ = false;
  QString what_;
  std::atomic<int> generation_{0};  // counts Stop calls; posts and results of an earlier count are dropped
  std::shared_ptr<CancelFlag> cancel_ = std::make_shared<CancelFlag>(false);
  QFuture<void> future_;
};
