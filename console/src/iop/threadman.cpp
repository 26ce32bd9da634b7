#include "iop/threadman.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include <iop/kernel.h>

#include "core/diag.h"

namespace console::iop {
namespace {

// Unwinds the host stack of a thread that called ExitThread.
struct ThreadExit {};
// Unwinds the host stack of a thread the kernel ends (a reboot).
struct ThreadKill {};

enum class State { kDormant, kReady, kRun, kWait };

constexpr int kPriorityLevels = 128;
constexpr size_t kMinHostStack = 256 * 1024;

struct Thread {
    int id = 0;
    void (*entry)(void*) = nullptr;
    void* arg = nullptr;
    u32 attr = 0;
    u32 option = 0;
    u32 stack_size = 0;
    int init_priority = 0;
    int priority = 0;
    const char* role = "thread";
    State state = State::kDormant;
    int wait_type = 0;
    int wait_id = 0;
    uint64_t wait_token = 0;
    int wake_result = KE_OK;
    int wakeup_count = 0;
    bool suspended = false;  // inside CpuSuspendIntr
    bool kill = false;
    bool delete_on_exit = false;
    bool host_running = false;
    pthread_t host{};
    std::condition_variable cv;
};

struct Waiter {
    int thread_id;
    uint64_t token;
};

struct Sema {
    int count = 0;
    int max = 0;
    u32 attr = 0;
    std::deque<Waiter> waiters;
};

// The ready threads, FIFO per priority level, with a mask of the levels that
// hold any so that the service loop's frequent "who runs next?" (usually
// nobody) costs a few word tests rather than a walk over every level.
class ReadyQueues {
public:
    void Push(int priority, int id, bool at_front)
    {
        auto& level = levels_[priority];
        if (at_front)
            level.push_front(id);
        else
            level.push_back(id);
        mask_[priority >> 5] |= 1u << (priority & 31);
        console::HardwareMayHaveWork();
    }

    // The first thread of the highest-priority (lowest-numbered) non-empty
    // level, taken off it; false when none is ready.
    bool PopHighest(int& id)
    {
        const int p = Highest();
        if (p == kPriorityLevels)
            return false;
        id = levels_[p].front();
        levels_[p].pop_front();
        Update(p);
        return true;
    }

    int Highest() const
    {
        for (int w = 0; w < kWords; ++w)
            if (mask_[w] != 0)
                return w * 32 + __builtin_ctz(mask_[w]);
        return kPriorityLevels;
    }

    void Remove(int id)
    {
        for (int p = 0; p < kPriorityLevels; ++p) {
            auto& level = levels_[p];
            if (level.empty())
                continue;
            level.erase(std::remove(level.begin(), level.end(), id), level.end());
            Update(p);
        }
    }

    void Clear()
    {
        for (auto& level : levels_)
            level.clear();
        for (u32& m : mask_)
            m = 0;
    }

private:
    static constexpr int kWords = kPriorityLevels / 32;

    void Update(int p)
    {
        const u32 bit = 1u << (p & 31);
        mask_[p >> 5] = levels_[p].empty() ? (mask_[p >> 5] & ~bit) : (mask_[p >> 5] | bit);
    }

    std::deque<int> levels_[kPriorityLevels];
    u32 mask_[kWords] = {};
};

struct RebootHook {
    std::string name;
    std::function<void()> hook;
};

struct Kernel {
    // The baton: `running` is the IOP thread that may run, null for the EE.
    std::mutex m;
    std::condition_variable main_cv;
    Thread* running = nullptr;

    std::map<int, std::unique_ptr<Thread>> threads;
    std::map<int, Sema> semas;
    ReadyQueues ready;
    int next_thread_id = 1;
    int next_sema_id = 1;
    uint64_t next_token = 1;
    bool ee_suspended = false;  // CpuSuspendIntr from the EE context (tests)
    uint64_t generation = 0;    // bumped by every reboot
    int pending_events = 0;
    std::vector<pthread_t> finished;
    pid_t owner = 0;  // the process the host threads belong to
};

// Never destroyed: parked host threads may still refer to it at exit.
// Made on first use and never destroyed (host threads may still wait on it
// at exit); reached afterwards with one load, as the service loop asks on
// every turn.
std::atomic<Kernel*> g_kernel{nullptr};

__attribute__((noinline)) Kernel& MakeKernel()
{
    static Kernel* kernel = new Kernel;
    g_kernel.store(kernel, std::memory_order_release);
    return *kernel;
}

Kernel& K()
{
    Kernel* k = g_kernel.load(std::memory_order_acquire);
    return k ? *k : MakeKernel();
}

thread_local Thread* tl_self = nullptr;

Thread* Find(int id)
{
    auto it = K().threads.find(id);
    return it == K().threads.end() ? nullptr : it->second.get();
}

// The thread a call names that must not be the caller: KE_OK with `t` set,
// or the call's error.
int FindOther(int thid, Thread*& t)
{
    if (thid == TH_SELF || (tl_self && thid == tl_self->id))
        return KE_ILLEGAL_THID;
    t = Find(thid);
    return t ? KE_OK : KE_UNKNOWN_THID;
}

Sema* FindSema(int id)
{
    auto it = K().semas.find(id);
    return it == K().semas.end() ? nullptr : &it->second;
}

void SetClock(iop_sys_clock_t* clock, uint64_t cycles)
{
    if (clock) {
        clock->lo = static_cast<u32>(cycles);
        clock->hi = static_cast<u32>(cycles >> 32);
    }
}

const char* StateName(State s)
{
    switch (s) {
    case State::kDormant: return "DORMANT";
    case State::kReady: return "READY";
    case State::kRun: return "RUN";
    case State::kWait: return "WAIT";
    }
    return "?";
}

const char* WaitName(int type)
{
    switch (type) {
    case TSW_SLEEP: return "sleep";
    case TSW_DELAY: return "delay";
    case TSW_SEMA: return "semaphore";
    case TSW_RPC: return "RPC request";
    case TSW_CDVD: return "disc drive";
    case TSW_SIF: return "SIF transfer";
    }
    return "?";
}

void RemoveReady(int id)
{
    K().ready.Remove(id);
}

void MakeReady(Thread* t, bool at_front)
{
    t->state = State::kReady;
    t->wait_type = 0;
    t->wait_id = 0;
    K().ready.Push(t->priority, t->id, at_front);
}

int HighestReadyPriority()
{
    return K().ready.Highest();
}

// This process's id without a system call each time: the service loop asks
// on every turn.  A fork's child learns its own on first use.
std::atomic<pid_t> g_process_id{0};

pid_t ProcessId()
{
    // Known once the fork handler below is in place.
    pid_t known = g_process_id.load(std::memory_order_relaxed);
    if (known != 0)
        return known;
    static const bool registered = [] {
        pthread_atfork(nullptr, nullptr, [] { g_process_id.store(0, std::memory_order_relaxed); });
        return true;
    }();
    (void)registered;
    pid_t pid = g_process_id.load(std::memory_order_relaxed);
    if (pid == 0) {
        pid = getpid();
        g_process_id.store(pid, std::memory_order_relaxed);
    }
    return pid;
}

// A forked child (a death test) has none of the parent's host threads: the
// records are forgotten rather than handed a baton nobody would take.  They
// are left undestroyed: a parent thread that was waiting on its condition
// variable at the fork is still counted as a waiter there, and destroying it
// would wait for that waiter for ever.
void ForgetThreadsAfterFork()
{
    Kernel& k = K();
    if (k.owner == 0 || k.owner == ProcessId())
        return;
    for (auto& [id, t] : k.threads)
        (void)t.release();
    k.threads.clear();
    k.semas.clear();
    k.ready.Clear();
    k.finished.clear();
    k.running = nullptr;
    k.owner = ProcessId();
}

// EE main side: gives the baton to `t` and waits until it comes back.
void HandTo(Thread* t)
{
    Kernel& k = K();
    ScopedContext ctx(Context::kIop);
    std::unique_lock<std::mutex> lock(k.m);
    k.running = t;
    t->cv.notify_one();
    k.main_cv.wait(lock, [&] { return k.running == nullptr; });
}

void JoinFinished()
{
    Kernel& k = K();
    std::vector<pthread_t> done;
    done.swap(k.finished);
    for (pthread_t h : done)
        pthread_join(h, nullptr);
}

// IOP thread side: gives the baton back to the EE and waits for it again.
void Park(Thread* t)
{
    Kernel& k = K();
    {
        std::unique_lock<std::mutex> lock(k.m);
        k.running = nullptr;
        k.main_cv.notify_one();
        t->cv.wait(lock, [&] { return k.running == t; });
    }
    if (t->kill)
        throw ThreadKill{};
}

// Runs on the host thread once its entry has returned or unwound, while it
// still holds the baton.
void FinishThread(Thread* t)
{
    Kernel& k = K();
    t->host_running = false;
    t->state = State::kDormant;
    t->suspended = false;
    t->wait_type = 0;
    RemoveReady(t->id);
    k.finished.push_back(t->host);
    Trace("iop", "%llu thread %d ends", static_cast<unsigned long long>(Now()), t->id);
    if (t->delete_on_exit)
        k.threads.erase(t->id);  // destroys t
}

void* HostMain(void* p)
{
    Thread* t = static_cast<Thread*>(p);
    tl_self = t;
    Kernel& k = K();
    {
        std::unique_lock<std::mutex> lock(k.m);
        t->cv.wait(lock, [&] { return k.running == t; });
    }
    if (!t->kill) {
        try {
            t->entry(t->arg);
        } catch (const ThreadExit&) {
        } catch (const ThreadKill&) {
        }
    }
    FinishThread(t);
    std::lock_guard<std::mutex> lock(k.m);
    k.running = nullptr;
    k.main_cv.notify_one();
    return nullptr;
}

void StartHost(Thread* t)
{
    Kernel& k = K();
    if (k.owner == 0)
        k.owner = ProcessId();
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    size_t stack = std::max<size_t>(kMinHostStack, (t->stack_size + 4095u) & ~size_t{4095});
    pthread_attr_setstacksize(&attr, stack);
    int err = pthread_create(&t->host, &attr, HostMain, t);
    pthread_attr_destroy(&attr);
    if (err != 0)
        Diag(Level::kFatal, "iop", "cannot create the host thread of IOP thread %d (error %d)", t->id, err);
    t->host_running = true;
}

// No thread ready, and no fork to forget: the IOP step would do nothing.
bool NoneReady()
{
    const Kernel& k = K();
    return (k.owner == 0 || k.owner == ProcessId()) && k.ready.Highest() == kPriorityLevels;
}

// The service loop's IOP step: one turn of the highest-priority ready thread.
// Returning after each turn lets the events its costs made due fire before the
// next thread runs.
bool RunOneTurn()
{
    Kernel& k = K();
    ForgetThreadsAfterFork();
    int id;
    if (!k.ready.PopHighest(id))
        return false;
    Thread* t = Find(id);
    if (!t)
        return true;
    t->state = State::kRun;
    Trace("iop", "%llu thread %d runs", static_cast<unsigned long long>(Now()), id);
    HandTo(t);
    JoinFinished();
    return true;
}

Thread* Self(const char* call)
{
    if (tl_self && K().running == tl_self)
        return tl_self;
    Diag(Level::kError, "iop", "%s called outside an IOP thread", call);
    return nullptr;
}

bool& SuspendFlag()
{
    return tl_self ? tl_self->suspended : K().ee_suspended;
}

void ResetAfterScheduler()
{
    Reboot();
    K().pending_events = 0;
}

std::vector<RebootHook>& RebootHooks()
{
    static std::vector<RebootHook> hooks;
    return hooks;
}

const bool g_registered = [] {
    SetIopRunner(RunOneTurn, NoneReady);
    RegisterStateReporter("iop", ThreadReport);
    RegisterResetHook("iop", ResetAfterScheduler);
    return true;
}();

}  // namespace

bool OnIopThread()
{
    return tl_self != nullptr;
}

int CurrentThreadId()
{
    return tl_self ? tl_self->id : 0;
}

void ChargeCall()
{
    if (tl_self)
        AdvanceClock(MicrosecondsToCycles(GetCosts().iop_call_us));
}

bool InCriticalSection()
{
    return SuspendFlag();
}

void Reschedule()
{
    Thread* t = tl_self;
    if (!t || t->suspended || K().running != t)
        return;
    if (HighestReadyPriority() >= t->priority)
        return;
    Trace("iop", "%llu thread %d preempted", static_cast<unsigned long long>(Now()), t->id);
    MakeReady(t, true);
    Park(t);
}

uint64_t BeginWait(int wait_type, int wait_id)
{
    Thread* t = tl_self;
    if (t->suspended)
        Diag(Level::kError, "iop", "IOP thread %d blocks (%s) inside CpuSuspendIntr", t->id, WaitName(wait_type));
    t->state = State::kWait;
    t->wait_type = wait_type;
    t->wait_id = wait_id;
    t->wait_token = K().next_token++;
    t->wake_result = KE_OK;
    Trace("iop", "%llu thread %d waits (%s %d)", static_cast<unsigned long long>(Now()), t->id, WaitName(wait_type),
          wait_id);
    return t->wait_token;
}

int FinishWait()
{
    Thread* t = tl_self;
    Park(t);
    return t->wake_result;
}

void Wake(int thread_id, uint64_t token, int result)
{
    Thread* t = Find(thread_id);
    if (!t || t->state != State::kWait || t->wait_token != token)
        return;
    t->wake_result = result;
    Trace("iop", "%llu thread %d readied", static_cast<unsigned long long>(Now()), thread_id);
    MakeReady(t, false);
}

EventId ScheduleIop(Cycles when, const char* name, std::function<void()> fn)
{
    Kernel& k = K();
    ++k.pending_events;
    uint64_t generation = k.generation;
    return ScheduleAt(when, name, [generation, fn = std::move(fn)] {
        Kernel& k = K();
        --k.pending_events;
        if (generation == k.generation)
            fn();
    });
}

namespace {

// Blocks the calling IOP thread until the clock reaches `when`; the wake's
// result.
int SleepUntil(Cycles when, int wait_type, const char* what)
{
    int id = tl_self->id;
    uint64_t token = BeginWait(wait_type, 0);
    ScheduleIop(when, what, [id, token] { Wake(id, token, KE_OK); });
    return FinishWait();
}

}  // namespace

bool WaitForTime(Cycles when, int wait_type, const char* what)
{
    if (tl_self) {
        SleepUntil(when, wait_type, what);
        return true;
    }
    if (CurrentContext() == Context::kMain)
        return WaitForIop(what, [when] { return Now() >= when; });
    Diag(Level::kError, "iop", "a wait for %s outside an IOP thread and the EE main context", what);
    return false;
}

bool WaitForIop(const char* what, const std::function<bool()>& done)
{
    bool stuck = false;
    bool ok = WaitUntil(what, [&] {
        if (done())
            return true;
        if (HighestReadyPriority() == kPriorityLevels && K().pending_events == 0) {
            stuck = true;
            return true;
        }
        return false;
    });
    if (stuck) {
        Diag(Level::kError, "iop", "deadlock at cycle %llu: the EE waits for %s and no IOP thread can run; %s",
             static_cast<unsigned long long>(Now()), what, ThreadReport().c_str());
        return false;
    }
    return ok;
}

int SpawnThread(void (*entry)(void*), void* arg, int priority, const char* role)
{
    iop_thread_t param{TH_C, 0, entry, 0x800, static_cast<u32>(priority)};
    int id = CreateThread(&param);
    if (id < 0)
        return id;
    Thread* t = Find(id);
    t->delete_on_exit = true;
    t->role = role;
    int err = StartThread(id, arg);
    return err < 0 ? err : id;
}

void RegisterRebootHook(const char* name, std::function<void()> hook)
{
    for (RebootHook& h : RebootHooks()) {
        if (h.name == name) {
            h.hook = std::move(hook);
            return;
        }
    }
    RebootHooks().push_back(RebootHook{name, std::move(hook)});
}

void Reboot()
{
    Kernel& k = K();
    if (tl_self) {
        Diag(Level::kError, "iop", "an IOP reboot requested from IOP thread %d", tl_self->id);
        return;
    }
    ForgetThreadsAfterFork();
    Trace("iop", "%llu reboot", static_cast<unsigned long long>(Now()));
    // End every thread that has a host thread, in id order, by letting it
    // unwind from wherever it waits.
    std::vector<int> ids;
    for (const auto& [id, t] : k.threads)
        if (t->host_running)
            ids.push_back(id);
    for (int id : ids) {
        Thread* t = Find(id);  // a thread ending may remove itself
        if (!t || !t->host_running)
            continue;
        t->kill = true;
        HandTo(t);
    }
    JoinFinished();
    k.threads.clear();
    k.semas.clear();
    k.ready.Clear();
    k.running = nullptr;
    k.next_thread_id = 1;
    k.next_sema_id = 1;
    k.ee_suspended = false;
    ++k.generation;
    for (RebootHook& h : RebootHooks())
        h.hook();
}

std::string ThreadReport()
{
    Kernel& k = K();
    std::string text = "IOP threads:";
    char line[200];
    if (k.threads.empty())
        text += " none";
    for (const auto& [id, t] : k.threads) {
        std::snprintf(line, sizeof line, " [#%d %s prio %d %s", id, t->role, t->priority, StateName(t->state));
        text += line;
        if (t->state == State::kWait) {
            std::snprintf(line, sizeof line, " on %s %d", WaitName(t->wait_type), t->wait_id);
            text += line;
        }
        text += "]";
    }
    text += "; semaphores:";
    if (k.semas.empty())
        text += " none";
    for (const auto& [id, s] : k.semas) {
        std::snprintf(line, sizeof line, " [#%d count %d/%d, %zu waiting]", id, s.count, s.max, s.waiters.size());
        text += line;
    }
    std::snprintf(line, sizeof line, "; %d IOP event(s) pending", k.pending_events);
    text += line;
    return text;
}

}  // namespace console::iop

// ---------------------------------------------------------------------------
// The kernel calls.

using console::Diag;
using console::Level;
using namespace console::iop;

int CreateThread(iop_thread_t* param)
{
    ChargeCall();
    if (!param)
        return KE_ERROR;
    if (!param->thread) {
        Diag(Level::kWarning, "iop", "CreateThread without an entry");
        return KE_ILLEGAL_ENTRY;
    }
    if (param->priority < IOP_HIGHEST_PRIORITY || param->priority > IOP_LOWEST_PRIORITY) {
        Diag(Level::kWarning, "iop", "CreateThread with priority %u (1 to 126)", param->priority);
        return KE_ILLEGAL_PRIORITY;
    }
    Kernel& k = K();
    auto t = std::make_unique<Thread>();
    t->id = k.next_thread_id++;
    t->entry = param->thread;
    t->attr = param->attr;
    t->option = param->option;
    t->stack_size = param->stacksize;
    t->init_priority = t->priority = static_cast<int>(param->priority);
    int id = t->id;
    k.threads.emplace(id, std::move(t));
    console::Trace("iop", "%llu thread %d created, priority %u", static_cast<unsigned long long>(console::Now()), id,
                   param->priority);
    return id;
}

int StartThread(int thid, void* arg)
{
    ChargeCall();
    Thread* t = Find(thid);
    if (!t)
        return KE_UNKNOWN_THID;
    if (t->state != State::kDormant || t->host_running)
        return KE_NOT_DORMANT;
    t->arg = arg;
    t->priority = t->init_priority;
    t->wakeup_count = 0;
    t->kill = false;
    StartHost(t);
    MakeReady(t, false);
    Reschedule();
    return KE_OK;
}

void ExitThread()
{
    if (!tl_self)
        Diag(Level::kFatal, "iop", "ExitThread called outside an IOP thread");
    throw ThreadExit{};
}

void ExitDeleteThread()
{
    if (!tl_self)
        Diag(Level::kFatal, "iop", "ExitDeleteThread called outside an IOP thread");
    tl_self->delete_on_exit = true;
    throw ThreadExit{};
}

int DeleteThread(int thid)
{
    ChargeCall();
    Thread* t = nullptr;
    if (int err = FindOther(thid, t); err != KE_OK)
        return err;
    if (t->state != State::kDormant || t->host_running)
        return KE_NOT_DORMANT;
    K().threads.erase(thid);
    return KE_OK;
}

int GetThreadId()
{
    ChargeCall();
    if (!tl_self)
        return KE_ILLEGAL_CONTEXT;
    return tl_self->id;
}

int ReferThreadStatus(int thid, iop_thread_info_t* info)
{
    ChargeCall();
    Thread* t = thid == TH_SELF ? tl_self : Find(thid);
    if (!t)
        return thid == TH_SELF ? KE_ILLEGAL_CONTEXT : KE_UNKNOWN_THID;
    if (!info)
        return KE_ERROR;
    info->attr = t->attr;
    info->option = t->option;
    switch (t->state) {
    case State::kDormant: info->status = THS_DORMANT; break;
    case State::kReady: info->status = THS_READY; break;
    case State::kRun: info->status = THS_RUN; break;
    case State::kWait: info->status = THS_WAIT; break;
    }
    info->entry = t->entry;
    info->stackSize = t->stack_size;
    info->initPriority = t->init_priority;
    info->currentPriority = t->priority;
    info->waitType = t->state == State::kWait ? t->wait_type : 0;
    info->waitId = t->state == State::kWait ? t->wait_id : 0;
    info->wakeupCount = t->wakeup_count;
    return KE_OK;
}

int SleepThread()
{
    ChargeCall();
    Thread* t = Self("SleepThread");
    if (!t)
        return KE_ILLEGAL_CONTEXT;
    if (t->wakeup_count > 0) {
        --t->wakeup_count;
        return KE_OK;
    }
    BeginWait(TSW_SLEEP, 0);
    return FinishWait();
}

static int Wakeup(int thid, bool reschedule)
{
    ChargeCall();
    Thread* t = nullptr;
    if (int err = FindOther(thid, t); err != KE_OK)
        return err;
    if (t->state == State::kDormant)
        return KE_DORMANT;
    if (t->state == State::kWait && t->wait_type == TSW_SLEEP)
        Wake(thid, t->wait_token, KE_OK);
    else
        ++t->wakeup_count;
    if (reschedule)
        Reschedule();
    return KE_OK;
}

int WakeupThread(int thid)
{
    return Wakeup(thid, true);
}

int iWakeupThread(int thid)
{
    return Wakeup(thid, false);
}

int DelayThread(int usec)
{
    Thread* t = Self("DelayThread");
    if (!t)
        return KE_ILLEGAL_CONTEXT;
    // The call's own cost is part of the delay: the thread wakes exactly
    // `usec` after the call.
    console::Cycles when = console::Now() + console::MicrosecondsToCycles(usec < 0 ? 0 : static_cast<uint64_t>(usec));
    return SleepUntil(when, TSW_DELAY, "IOP delay");
}

int CreateSema(iop_sema_t* param)
{
    ChargeCall();
    if (!param || param->initial < 0 || param->max < 1 || param->initial > param->max)
        return KE_ILLEGAL_SEMA;
    Kernel& k = K();
    int id = k.next_sema_id++;
    Sema s;
    s.count = param->initial;
    s.max = param->max;
    s.attr = param->attr;
    k.semas.emplace(id, std::move(s));
    return id;
}

int DeleteSema(int semid)
{
    ChargeCall();
    Sema* s = FindSema(semid);
    if (!s)
        return KE_UNKNOWN_SEMID;
    std::deque<Waiter> waiters = std::move(s->waiters);
    K().semas.erase(semid);
    for (const Waiter& w : waiters)
        Wake(w.thread_id, w.token, KE_WAIT_DELETE);
    Reschedule();
    return KE_OK;
}

static int Signal(int semid, bool reschedule)
{
    ChargeCall();
    Sema* s = FindSema(semid);
    if (!s)
        return KE_UNKNOWN_SEMID;
    if (!s->waiters.empty()) {
        Waiter w = s->waiters.front();
        s->waiters.pop_front();
        Wake(w.thread_id, w.token, KE_OK);
    } else if (s->count >= s->max) {
        return KE_SEMA_OVF;
    } else {
        ++s->count;
    }
    if (reschedule)
        Reschedule();
    return KE_OK;
}

int SignalSema(int semid)
{
    return Signal(semid, true);
}

int iSignalSema(int semid)
{
    return Signal(semid, false);
}

int WaitSema(int semid)
{
    ChargeCall();
    Sema* s = FindSema(semid);
    if (!s)
        return KE_UNKNOWN_SEMID;
    if (s->count > 0) {
        --s->count;
        Reschedule();
        return KE_OK;
    }
    Thread* t = Self("WaitSema");
    if (!t)
        return KE_ILLEGAL_CONTEXT;
    uint64_t token = BeginWait(TSW_SEMA, semid);
    s->waiters.push_back(Waiter{t->id, token});
    return FinishWait();
}

int PollSema(int semid)
{
    ChargeCall();
    Sema* s = FindSema(semid);
    if (!s)
        return KE_UNKNOWN_SEMID;
    if (s->count == 0)
        return KE_SEMA_ZERO;
    --s->count;
    return KE_OK;
}

int CpuSuspendIntr(int* state)
{
    ChargeCall();
    bool& suspended = SuspendFlag();
    bool was = suspended;
    suspended = true;
    if (state)
        *state = was ? 1 : 0;
    return was ? KE_CPUDI : KE_OK;
}

int CpuResumeIntr(int state)
{
    ChargeCall();
    bool& suspended = SuspendFlag();
    suspended = state != 0;
    if (!suspended)
        Reschedule();  // a thread readied inside the section runs now
    return KE_OK;
}

void GetSystemTime(iop_sys_clock_t* clock)
{
    ChargeCall();
    SetClock(clock, console::Now() / console::kIopCycle);
}

namespace {
constexpr uint64_t kIopHz = console::kBusHz / console::kIopCycle;  // 36,864,000
}

void SysClock2USec(iop_sys_clock_t* clock, u32* sec, u32* usec)
{
    uint64_t cycles = clock ? (static_cast<uint64_t>(clock->hi) << 32 | clock->lo) : 0;
    if (sec)
        *sec = static_cast<u32>(cycles / kIopHz);
    if (usec)
        *usec = static_cast<u32>(cycles % kIopHz * 1'000'000 / kIopHz);
}

void USec2SysClock(u32 usec, iop_sys_clock_t* clock)
{
    SetClock(clock, static_cast<uint64_t>(usec) * (kIopHz / 1000) / 1000);
}

void iop_spin(u32 n)
{
    console::Cycles cost = static_cast<console::Cycles>(n) * console::GetCosts().iop_spin_cycles * console::kIopCycle;
    if (tl_self)
        console::AdvanceClock(cost);
    else
        console::SafePoint(cost);
}
