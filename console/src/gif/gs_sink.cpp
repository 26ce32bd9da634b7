// The GIF's default output: the GS stand-in.
#include "gif/gif.h"
#include "gs/gs.h"

namespace console::gif {
namespace {

class GsStandIn final : public GsSink {
public:
    void WriteRegister(u32 address, u64 value) override { gs::WriteRegister(address, value); }
    size_t WriteImageData(const u128* data, size_t qwc) override { return gs::WriteImageData(data, qwc); }
};

}  // namespace

GsSink& DefaultSink()
{
    static GsStandIn sink;
    return sink;
}

}  // namespace console::gif
