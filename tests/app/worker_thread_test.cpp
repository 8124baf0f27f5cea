#include <QElapsedTimer>
#include <QTest>
#include <atomic>
#include <chrono>
#include <memory>
#include <semaphore>
#include <vector>

#include "app/worker_thread.h"

namespace {

// State a piece of work shares with the test: it blocks until opened (for at most a while, so
// a failing test cannot hang), and counts the cancels it was sent.
struct TGate {
    std::binary_semaphore Open{0};
    std::atomic<int> Cancels{0};
    std::atomic<bool> Done{false};

    void Wait() {
        Open.try_acquire_for(std::chrono::seconds(10));
        Done = true;
    }
};

}  // namespace

class WorkerThreadTest : public QObject {
    Q_OBJECT
  private slots:
    void stopCancelsOnceAndEachEndIsReportedAfterRunningClears() {
        TWorkerThread worker;
        std::vector<bool> ends;  // stopped, per end
        bool runningAtEnd = false;
        connect(&worker, &TWorkerThread::Finished, [&](bool stopped) {
            ends.push_back(stopped);
            runningAtEnd = runningAtEnd || worker.Running();
        });
        auto gate = std::make_shared<TGate>();
        worker.Start([gate] { gate->Wait(); },
                     [gate] {
                         ++gate->Cancels;
                         gate->Open.release();
                     });
        QVERIFY(worker.Running());
        auto ignored = std::make_shared<TGate>();
        worker.Start([ignored] { ignored->Done = true; }, [] {});
        worker.Stop();
        worker.Stop();
        QTRY_COMPARE(ends, std::vector<bool>{true});
        QCOMPARE(gate->Cancels.load(), 1);
        QVERIFY(!ignored->Done);

        // Work that ends by itself is not marked stopped; a later Stop cancels nothing.
        auto next = std::make_shared<TGate>();
        next->Open.release();
        worker.Start([next] { next->Wait(); }, [next] { ++next->Cancels; });
        QTRY_COMPARE(ends, (std::vector<bool>{true, false}));
        worker.Stop();
        QCOMPARE(next->Cancels.load(), 0);
        QVERIFY(!runningAtEnd);
    }

    // Like a name lookup, this work ignores its cancel: destroying the helper waits a bounded
    // time, then the work runs on with its shared state alive and the thread is reclaimed.
    void workPastTheWaitIsLeftToEndOnItsOwn() {
        auto gate = std::make_shared<TGate>();
        bool ended = false;
        QElapsedTimer clock;
        {
            TWorkerThread worker;
            connect(&worker, &TWorkerThread::Finished, [&] { ended = true; });
            worker.Start([gate] { gate->Wait(); }, [gate] { ++gate->Cancels; });
            clock.start();
        }
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(gate->Cancels.load(), 1);
        QVERIFY(!gate->Done);

        const std::weak_ptr<TGate> watch = gate;
        gate->Open.release();
        QTRY_VERIFY(gate->Done);
        gate.reset();
        QTRY_VERIFY(watch.expired());
        QVERIFY(!ended);
    }
};

QTEST_GUILESS_MAIN(WorkerThreadTest)
#include "worker_thread_test.moc"
