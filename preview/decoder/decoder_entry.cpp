// The one symbol the decoder module exports: programs load the module when
// they first need a preview and look this up (decoder_loader.cpp).

#include "first_frame.hpp"

extern "C" __attribute__((visibility("default"))) void* tavorine_mov_decoder() {
    tav::preview::DecodeFunction decode = &tav::preview::DecodePreview;
    return reinterpret_cast<void*>(decode);
}
