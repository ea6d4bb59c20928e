// Decodes the embedded PNG pictures (RT_RCDATA 400..421) through WIC into the
// process-wide sprite set, then lets the portable side draw the rest.
#include <wincodec.h>
#include <windows.h>

#include <mutex>
#include <vector>

#include "render/sprites.h"
#include "render/sprites_win.h"
#include "base/log.h"
#include "base/owners_win.h"
#include "base/win_util_win.h"

namespace {


bool decodeInto(IWICImagingFactory* factory, int slot, const void* data, DWORD size) {
  ComPtr<IWICStream> stream;
  if (FAILED(factory->CreateStream(stream.put()))) return false;
  if (FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(data)), size))) return false;
  ComPtr<IWICBitmapDecoder> decoder;
  if (FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.put())))
    return false;
  ComPtr<IWICBitmapFrameDecode> frame;
  if (FAILED(decoder->GetFrame(0, frame.put()))) return false;
  ComPtr<IWICFormatConverter> converter;
  if (FAILED(factory->CreateFormatConverter(converter.put()))) return false;
  if (FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom)))
    return false;
  UINT w = 0, h = 0;
  if (FAILED(converter->GetSize(&w, &h)) || w == 0 || h == 0 || w > 4096 || h > 4096) return false;
  std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4);
  if (FAILED(converter->CopyPixels(nullptr, w * 4, static_cast<UINT>(pixels.size()), pixels.data()))) return false;
  return kovra::spritesInstallPicture(slot, static_cast<int>(w), static_cast<int>(h), pixels.data());
}

void loadOnce() {
  int loaded = 0;
  ComPtr<IWICImagingFactory> factory;
  HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(factory.put()));
  if (FAILED(hr) || !factory) {
    logLine("sprites: WIC unavailable — no snowballs / Santa pictures");
    // The pictures drawn here need no decoder: crystals and sparks still show.
    kovra::spritesCompleteDrawn();
    return;
  }
  HMODULE self = GetModuleHandleW(nullptr);
  for (int slot = 0; slot < kovra::kPictureSlots; ++slot) {
    HRSRC res = FindResourceW(self, MAKEINTRESOURCEW(400 + slot), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!res) continue;
    HGLOBAL mem = LoadResource(self, res);
    DWORD size = SizeofResource(self, res);
    const void* data = mem ? LockResource(mem) : nullptr;
    if (!data || size == 0) continue;
    if (decodeInto(factory.get(), slot, data, size)) ++loaded;
  }
  kovra::spritesCompleteDrawn();
  logLine("sprites: %d of %d pictures loaded", loaded, kovra::kPictureSlots);
}

}  // namespace

const kovra::SpriteSet& loadSprites() {
  static std::once_flag once;
  std::call_once(once, loadOnce);
  return kovra::spriteSetStorage();
}
