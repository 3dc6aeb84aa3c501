// The surface a drawable draws on during one frame.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "HostApi.h"
#include "Records.h"

class HOST_API CanvasWrapper {
 public:
  explicit CanvasWrapper(std::uintptr_t mem);
  CanvasWrapper(const CanvasWrapper& other);
  CanvasWrapper& operator=(CanvasWrapper rhs);
  ~CanvasWrapper();

  /// Width and height in pixels.
  Vector2 GetSize();
  void SetColor(char red, char green, char blue, char alpha);
  void SetPosition(Vector2 pos);
  /// Draws at the last position in the last colour.
  void DrawString(std::string text, float xScale, float yScale);

 private:
  struct Impl;
  std::unique_ptr<Impl> pimpl;
};
