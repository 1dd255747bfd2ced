// SPDX-License-Identifier: MIT
#include "pictures_win32.h"

#include <algorithm>

#include "paint_resources.h"
#include "resource_ids.h"

using namespace form;

namespace {
struct PictureResource {
  Picture picture;
  int id;
  SIZE design;  // at 96 DPI
};
constexpr PictureResource kResources[] = {
    {Picture::Scan, RT420_PICTURE_SCAN, {16, 16}},         {Picture::Id, RT420_PICTURE_ID, {16, 16}},
    {Picture::BaudRate, RT420_PICTURE_BAUDRATE, {16, 16}}, {Picture::Mode, RT420_PICTURE_MODE, {16, 16}},
    {Picture::Process, RT420_PICTURE_PROCESS, {32, 20}},   {Picture::Factory, RT420_PICTURE_FACTORY, {100, 50}},
};
// The close symbol's size at 96 DPI, as the small pictures.
constexpr SIZE kCloseDesign{16, 16};
// The cross: its strokes an eighth of the side thick, a quarter of the side
// in from the edges.
constexpr int kCloseStrokeParts = 8;
constexpr int kCloseInsetParts = 4;

const PictureResource* ResourceOf(Picture picture) {
  for (const PictureResource& resource : kResources)
    if (resource.picture == picture) return &resource;
  return nullptr;
}
}  // namespace

const TextPicture* TextPictureOf(Picture picture) {
  if (picture == Picture::Gb) return &kGbPicture;
  if (picture == Picture::Big5) return &kBig5Picture;
  return nullptr;
}

SIZE DesignSize(Picture picture) {
  if (picture == Picture::Close) return kCloseDesign;
  const PictureResource* resource = ResourceOf(picture);
  return resource ? resource->design : SIZE{};
}

HICON LoadPicture(Picture picture) {
  const PictureResource* resource = ResourceOf(picture);
  if (!resource) return nullptr;
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource->id), IMAGE_ICON,
                                       Scaled(resource->design.cx), Scaled(resource->design.cy), 0));
}

HICON MakeClosePicture(int side, COLORREF colour) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  // The colour image: the cross in the colour on black; the mask: the cross
  // opaque (0), the rest transparent (1).
  HBITMAP image = CreateCompatibleBitmap(screen, side, side);
  HBITMAP mask = CreateBitmap(side, side, 1, 1, nullptr);
  ReleaseDC(nullptr, screen);
  HICON icon = nullptr;
  if (dc && image && mask) {
    const int stroke = std::max(1, side / kCloseStrokeParts), inset = side / kCloseInsetParts;
    auto drawCross = [&](HBITMAP bitmap, HBRUSH background, COLORREF ink) {
      SelectObject(dc, bitmap);
      RECT all{0, 0, side, side};
      FillRect(dc, &all, background);
      HPEN pen = CreatePen(PS_SOLID, stroke, ink);
      const HGDIOBJ oldPen = SelectObject(dc, pen);
      MoveToEx(dc, inset, inset, nullptr);
      LineTo(dc, side - inset, side - inset);
      MoveToEx(dc, side - inset - 1, inset, nullptr);
      LineTo(dc, inset - 1, side - inset);
      SelectObject(dc, oldPen);
      DeleteObject(pen);
    };
    const HGDIOBJ oldBitmap = SelectObject(dc, image);
    drawCross(image, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)), colour);
    drawCross(mask, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)), RGB(0, 0, 0));
    SelectObject(dc, oldBitmap);
    ICONINFO info{TRUE, 0, 0, mask, image};
    icon = CreateIconIndirect(&info);
  }
  if (mask) DeleteObject(mask);
  if (image) DeleteObject(image);
  if (dc) DeleteDC(dc);
  return icon;
}
