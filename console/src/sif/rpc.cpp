// SIF remote calls, both sides.  A call's request (its send buffer copied at
// the call) crosses to the IOP, waits in its server's queue until the
// server's thread takes it in sceSifRpcLoop, and the reply (copied from the
// buffer the server function returns) crosses back.  A blocking call waits
// for the reply; an asynchronous one completes in the SIF interrupt (cause 1),
// which runs its end function in interrupt context at a later safe point, so
// never inside the call and never while DIntr is in force.
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include <ee/sif.h>
#include <iop/kernel.h>
#include <iop/sif.h>

#include "core/diag.h"
#include "ee/intc.h"
#include "iop/threadman.h"
#include "sif/sif_internal.h"

namespace console::sif {
namespace {

enum class Kind { kBind, kCall };

struct Call {
    Kind kind = Kind::kCall;
    sceSifClientData* cd = nullptr;
    u32 server = 0;
    u32 fno = 0;
    std::vector<uint8_t> send;
    void* recv = nullptr;
    int rsize = 0;
    sceSifEndFunc end = nullptr;
    void* end_param = nullptr;
    bool nowait = false;
};

struct QueueRec {
    sceSifQueueData* q = nullptr;
    int thread = 0;
    std::deque<uint32_t> pending;  // call tokens in order of arrival
    bool waiting = false;
    uint64_t wait_token = 0;
};

// A completion for the SIF interrupt to deliver.
struct Completion {
    sceSifClientData* cd;
    uint32_t token;
    bool clear_busy;
    sceSifEndFunc end;
    void* end_param;
};

struct Rpc {
    bool client_ready = false;
    bool handler_installed = false;
    uint32_t next_token = 1;
    std::map<uint32_t, Call> calls;  // in flight, by token
    std::map<u32, sceSifServeData*> servers;
    std::vector<QueueRec> queues;
    std::deque<Completion> completions;
};

Rpc& R()
{
    static Rpc rpc;
    return rpc;
}

QueueRec* FindQueue(sceSifQueueData* q)
{
    Rpc& r = R();
    if (!q || q->console_slot == 0 || q->console_slot > r.queues.size())
        return nullptr;
    QueueRec& rec = r.queues[q->console_slot - 1];
    return rec.q == q ? &rec : nullptr;
}

int SifInterrupt(int)
{
    Rpc& r = R();
    while (!r.completions.empty()) {
        Completion c = r.completions.front();
        r.completions.pop_front();
        if (c.clear_busy && c.cd->console_call == c.token) {
            c.cd->busy = 0;
            c.cd->console_call = 0;
        }
        Trace("sif", "%llu end function of call %u", static_cast<unsigned long long>(Now()), c.token);
        if (c.end)
            c.end(c.end_param);
    }
    return -1;
}

void Complete(const Completion& c)
{
    Rpc& r = R();
    if (!r.handler_installed) {
        AddInternalIntcHandler(kIntcSbus, SifInterrupt, -1);
        if ((IntcMask() & (1u << kIntcSbus)) == 0)
            IntcWriteMask(1u << kIntcSbus);
        r.handler_installed = true;
    }
    r.completions.push_back(c);
    RaiseIntc(kIntcSbus);
}

// The reply of call `token` reaches the EE.
void ReplyArrives(uint32_t token, sceSifServeData* serve, std::vector<uint8_t> data)
{
    Rpc& r = R();
    auto it = r.calls.find(token);
    if (it == r.calls.end())
        return;
    Call c = std::move(it->second);
    r.calls.erase(it);
    Trace("sif", "%llu reply of call %u lands (%zu bytes)", static_cast<unsigned long long>(Now()), token,
          data.size());
    if (c.kind == Kind::kBind) {
        c.cd->serve = serve;
        if (c.cd->console_call == token) {
            c.cd->busy = 0;
            c.cd->console_call = 0;
        }
        return;
    }
    if (c.recv && !data.empty())
        std::memcpy(c.recv, data.data(), data.size());
    if (!c.nowait) {
        if (c.cd->console_call == token) {
            c.cd->busy = 0;
            c.cd->console_call = 0;
        }
        if (c.end)
            Complete(Completion{c.cd, token, false, c.end, c.end_param});
    } else {
        Complete(Completion{c.cd, token, true, c.end, c.end_param});
    }
}

void SendReply(uint32_t token, sceSifServeData* serve, std::vector<uint8_t> data)
{
    Cycles at = DeliveryTime(Direction::kToEe, Latency());
    iop::ScheduleIop(at, "SIF reply", [token, serve, data = std::move(data)]() mutable {
        ReplyArrives(token, serve, std::move(data));
    });
}

// The request of call `token` reaches the IOP.
void RequestArrives(uint32_t token)
{
    Rpc& r = R();
    auto it = r.calls.find(token);
    if (it == r.calls.end())
        return;
    Call& c = it->second;
    auto server = r.servers.find(c.server);
    if (c.kind == Kind::kBind) {
        SendReply(token, server == r.servers.end() ? nullptr : server->second, {});
        return;
    }
    QueueRec* q = server == r.servers.end() ? nullptr : FindQueue(server->second->base);
    if (!q) {
        Diag(Level::kError, "sif", "RPC call %u (function %u) to server 0x%x, which is not registered", token, c.fno,
             c.server);
        SendReply(token, nullptr, std::vector<uint8_t>(static_cast<size_t>(c.rsize), 0));
        return;
    }
    Trace("sif", "%llu request %u for server 0x%x function %u arrives", static_cast<unsigned long long>(Now()), token,
          c.server, c.fno);
    q->pending.push_back(token);
    if (q->waiting) {
        q->waiting = false;
        iop::Wake(q->thread, q->wait_token, KE_OK);
    }
}

uint32_t Send(Call call)
{
    Rpc& r = R();
    uint32_t token = r.next_token++;
    if (r.next_token == 0)
        r.next_token = 1;
    call.cd->busy = 1;
    call.cd->console_call = token;
    r.calls.emplace(token, std::move(call));
    Cycles at = DeliveryTime(Direction::kToIop, Latency());
    iop::ScheduleIop(at, "SIF request", [token] { RequestArrives(token); });
    return token;
}

bool WaitForCall(sceSifClientData* cd, uint32_t token, const char* what)
{
    return iop::WaitForIop(what, [cd, token] { return cd->console_call != token; });
}

bool OnEe(const char* call)
{
    if (CurrentContext() != Context::kIop)
        return true;
    Diag(Level::kError, "sif", "%s is a main-processor call, made on the IOP", call);
    return false;
}

std::string Report()
{
    Rpc& r = R();
    std::string text = "servers:";
    char line[120];
    if (r.servers.empty())
        text += " none";
    for (const auto& [id, sd] : r.servers) {
        std::snprintf(line, sizeof line, " 0x%x", id);
        text += line;
    }
    std::snprintf(line, sizeof line, "; %zu call(s) in flight", r.calls.size());
    text += line;
    for (const auto& [token, c] : r.calls) {
        std::snprintf(line, sizeof line, " [#%u %s server 0x%x fno %u]", token, c.kind == Kind::kBind ? "bind" : "call",
                      c.server, c.fno);
        text += line;
    }
    for (const QueueRec& q : r.queues) {
        std::snprintf(line, sizeof line, "; queue of thread %d: %zu pending%s", q.thread, q.pending.size(),
                      q.waiting ? ", its thread waits" : "");
        text += line;
    }
    return text;
}

// A reboot removes every server; a call in flight is dropped and its client
// is no longer busy, since nothing will ever answer it.
void Reboot()
{
    Rpc& r = R();
    for (auto& [token, c] : r.calls) {
        if (c.cd->console_call == token) {
            c.cd->busy = 0;
            c.cd->console_call = 0;
        }
    }
    r.calls.clear();
    r.servers.clear();
    r.queues.clear();
}

const bool g_registered = [] {
    iop::RegisterRebootHook("sif rpc", Reboot);
    RegisterResetHook("sif rpc", [] { R() = Rpc{}; });
    RegisterStateReporter("sif rpc", Report);
    return true;
}();

}  // namespace
}  // namespace console::sif

using console::Diag;
using console::Level;
using namespace console::sif;

// ---------------------------------------------------------------------------
// The main processor's side.

void sceSifInitRpc(unsigned int)
{
    console::SafePoint(0);
    R().client_ready = true;
}

int sceSifBindRpc(sceSifClientData* cd, unsigned int id, unsigned int mode)
{
    console::SafePoint(0);
    if (!OnEe("sceSifBindRpc") || !cd)
        return -1;
    if (!R().client_ready)
        Diag(Level::kError, "sif", "sceSifBindRpc(0x%x) before sceSifInitRpc", id);
    if (cd->busy) {
        Diag(Level::kError, "sif", "sceSifBindRpc(0x%x) while the client's previous call is in flight", id);
        return -2;
    }
    cd->server_id = id;
    cd->serve = nullptr;
    Call call;
    call.kind = Kind::kBind;
    call.cd = cd;
    call.server = id;
    call.nowait = (mode & SIF_RPCM_NOWAIT) != 0;
    uint32_t token = Send(std::move(call));
    console::Trace("sif", "%llu bind %u to server 0x%x", static_cast<unsigned long long>(console::Now()), token, id);
    if (!(mode & SIF_RPCM_NOWAIT))
        WaitForCall(cd, token, "an RPC bind");
    return 0;
}

int sceSifCallRpc(sceSifClientData* cd, unsigned int fno, unsigned int mode, void* send, int ssize, void* recv,
                  int rsize, sceSifEndFunc end, void* end_param)
{
    // The safe point comes before the request is queued: whatever it runs
    // cannot include this call's completion.
    console::SafePoint(0);
    if (!OnEe("sceSifCallRpc") || !cd)
        return -1;
    if (!cd->serve) {
        Diag(Level::kError, "sif", "sceSifCallRpc(function %u) on a client not bound to a server", fno);
        return -1;
    }
    if (cd->busy) {
        Diag(Level::kError, "sif", "sceSifCallRpc(function %u) to server 0x%x while its previous call is in flight",
             fno, cd->server_id);
        return -2;
    }
    if (ssize < 0 || rsize < 0 || (ssize > 0 && !send) || (rsize > 0 && !recv)) {
        Diag(Level::kError, "sif", "sceSifCallRpc(function %u): bad buffers (send %d bytes, reply %d bytes)", fno,
             ssize, rsize);
        return -1;
    }
    Call call;
    call.cd = cd;
    call.server = cd->server_id;
    call.fno = fno;
    if (ssize > 0)
        call.send.assign(static_cast<uint8_t*>(send), static_cast<uint8_t*>(send) + ssize);
    call.recv = recv;
    call.rsize = rsize;
    call.end = end;
    call.end_param = end_param;
    call.nowait = (mode & SIF_RPCM_NOWAIT) != 0;
    uint32_t token = Send(std::move(call));
    console::Trace("sif", "%llu call %u: server 0x%x function %u, %d bytes, %s",
                   static_cast<unsigned long long>(console::Now()), token, cd->server_id, fno, ssize,
                   (mode & SIF_RPCM_NOWAIT) ? "no wait" : "waiting");
    if (!(mode & SIF_RPCM_NOWAIT) && !WaitForCall(cd, token, "an RPC reply"))
        return -3;
    return 0;
}

int sceSifCheckStatRpc(sceSifClientData* cd)
{
    console::SafePoint(console::GetCosts().poll_call);
    return cd && cd->busy ? 1 : 0;
}

// ---------------------------------------------------------------------------
// The I/O processor's side.

void iop_sceSifInitRpc(int)
{
    console::iop::ChargeCall();
}

void sceSifSetRpcQueue(sceSifQueueData* q, int thread_id)
{
    console::iop::ChargeCall();
    if (!q)
        return;
    Rpc& r = R();
    QueueRec rec;
    rec.q = q;
    rec.thread = thread_id;
    r.queues.push_back(rec);
    q->thread_id = thread_id;
    q->link = nullptr;
    q->console_slot = static_cast<u32>(r.queues.size());
}

void sceSifRegisterRpc(sceSifServeData* sd, u32 id, sceSifRpcFunc func, void* buff, sceSifRpcFunc cfunc,
                       void* cbuff, sceSifQueueData* q)
{
    console::iop::ChargeCall();
    if (!sd || !func || !FindQueue(q)) {
        Diag(Level::kError, "sif", "sceSifRegisterRpc(0x%x) without a server function or a queue set up", id);
        return;
    }
    sd->id = id;
    sd->func = func;
    sd->buff = buff;
    sd->cfunc = cfunc;
    sd->cbuff = cbuff;
    sd->base = q;
    sd->next = nullptr;
    sceSifServeData** link = &q->link;
    while (*link && *link != sd)
        link = &(*link)->next;
    *link = sd;
    Rpc& r = R();
    if (r.servers.count(id))
        Diag(Level::kWarning, "sif", "server 0x%x registered again; the new registration serves it", id);
    r.servers[id] = sd;
    console::Trace("sif", "%llu server 0x%x registered", static_cast<unsigned long long>(console::Now()), id);
}

void sceSifRpcLoop(sceSifQueueData* q)
{
    for (;;) {
        Rpc& r = R();
        QueueRec* rec = FindQueue(q);
        if (!rec) {
            Diag(Level::kError, "sif", "sceSifRpcLoop on a queue never set up with sceSifSetRpcQueue");
            ExitThread();
        }
        if (rec->pending.empty()) {
            rec->waiting = true;
            rec->wait_token = console::iop::BeginWait(TSW_RPC, static_cast<int>(q->console_slot));
            rec->thread = console::iop::CurrentThreadId();
            console::iop::FinishWait();
            continue;
        }
        uint32_t token = rec->pending.front();
        rec->pending.pop_front();
        auto it = r.calls.find(token);
        if (it == r.calls.end())
            continue;
        auto server = r.servers.find(it->second.server);
        if (server == r.servers.end())
            continue;
        sceSifServeData* sd = server->second;
        std::vector<uint8_t> request = std::move(it->second.send);
        int fno = static_cast<int>(it->second.fno);
        int rsize = it->second.rsize;
        console::iop::ChargeCall();
        if (!request.empty()) {
            if (sd->buff)
                std::memcpy(sd->buff, request.data(), request.size());
            else
                Diag(Level::kError, "sif", "server 0x%x has no receive buffer for a %zu-byte request", sd->id,
                     request.size());
        }
        console::Trace("sif", "%llu server 0x%x serves call %u function %d",
                       static_cast<unsigned long long>(console::Now()), sd->id, token, fno);
        void* reply = sd->func(fno, sd->buff, static_cast<int>(request.size()));
        std::vector<uint8_t> data(static_cast<size_t>(rsize), 0);
        if (rsize > 0) {
            if (reply)
                std::memcpy(data.data(), reply, data.size());
            else
                Diag(Level::kError, "sif", "server 0x%x function %d returned no reply buffer for %d bytes", sd->id,
                     fno, rsize);
        }
        SendReply(token, sd, std::move(data));
    }
}
