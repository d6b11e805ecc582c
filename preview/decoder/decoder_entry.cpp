// The symbols the decoder module exports: programs load the module when
// they first need a preview or a play check and look these up
// (decoder_loader.cpp).

#include "first_frame.hpp"
#include "full_decode.hpp"

extern "C" __attribute__((visibility("default"))) void* tavorine_mov_decoder() {
    tav::preview::DecodeFunction decode = &tav::preview::DecodePreview;
    return reinterpret_cast<void*>(decode);
}

extern "C" __attribute__((visibility("default"))) void* tavorine_mov_verifier() {
    tav::preview::VerifyFunction verify = &tav::preview::VerifyDecode;
    return reinterpret_cast<void*>(verify);
}
