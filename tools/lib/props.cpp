// Writers of the city's props.
#include "tools/lib/props.h"

#include <cstring>

namespace tools {

bool WriteP2BWithParams(P2BFile file, const std::vector<NodeParams>& params, std::vector<u8>& out,
                        std::string& error)
{
    // The blocks go after the file as written without them; the nodes'
    // offsets do not change its size.
    std::vector<u8> plain;
    if (!WriteP2B(file, plain, error))
        return false;
    size_t at = (plain.size() + 15) & ~size_t(15);
    std::vector<size_t> where;
    for (const NodeParams& p : params) {
        if (p.node < 0 || size_t(p.node) >= file.nodes.size()) {
            error = "a parameter block for node " + std::to_string(p.node) + ", which the file does not have";
            return false;
        }
        file.nodes[size_t(p.node)].extra2 = u32(at);
        where.push_back(at);
        at = (at + p.bytes.size() + 15) & ~size_t(15);
    }
    if (!WriteP2B(file, out, error))
        return false;
    out.resize(at, 0);
    for (size_t i = 0; i < params.size(); i++)
        std::memcpy(out.data() + where[i], params[i].bytes.data(), params[i].bytes.size());
    return true;
}

std::vector<u8> EntityParamBytes(u8 type, s32 delay, float force, u16 persist, u8 persistas)
{
    FX_Debris_params p{};
    p.type = type;
    p.delay = delay;
    p.force = force;
    p.persist = persist;
    p.persistas = persistas;
    std::vector<u8> bytes(sizeof p);
    std::memcpy(bytes.data(), &p, sizeof p);
    return bytes;
}

}  // namespace tools
