// SPDX-License-Identifier: MIT
#include "pictures_win32.h"

#include "paint_resources.h"
#include "resource_ids.h"

using namespace form;

const TextPicture* TextPictureOf(Picture picture) {
  if (picture == Picture::Gb) return &kGbPicture;
  if (picture == Picture::Big5) return &kBig5Picture;
  return nullptr;
}

HBITMAP TextPictureBitmap(const TextPicture& picture) {
  const int width = Scaled(picture.width), height = Scaled(picture.height);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  ReleaseDC(nullptr, screen);
  if (!memory || !bitmap) {
    if (memory) DeleteDC(memory);
    if (bitmap) DeleteObject(bitmap);
    return nullptr;
  }
  HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
  RECT area{0, 0, width, height};
  FillRect(memory, &area, GetSysColorBrush(COLOR_BTNFACE));
  HGDIOBJ oldFont = SelectObject(memory, FontOf(picture.font));
  SetBkMode(memory, TRANSPARENT);
  SetTextColor(memory, RGB(picture.colour.r, picture.colour.g, picture.colour.b));
  const std::wstring text = Wide(picture.utf8);
  DrawTextW(memory, text.c_str(), static_cast<int>(text.size()), &area,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(memory, oldFont);
  SelectObject(memory, oldBitmap);
  DeleteDC(memory);
  return bitmap;
}

HICON ResourcePicture(Picture picture) {
  int id = 0;
  switch (picture) {
    case Picture::Scan: id = RT420_PICTURE_SCAN; break;
    case Picture::Id: id = RT420_PICTURE_ID; break;
    case Picture::BaudRate: id = RT420_PICTURE_BAUDRATE; break;
    case Picture::Mode: id = RT420_PICTURE_MODE; break;
    case Picture::Process: id = RT420_PICTURE_PROCESS; break;
    case Picture::Factory: id = RT420_PICTURE_FACTORY; break;
    default: return nullptr;
  }
  return static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, 0, 0, LR_SHARED));
}
