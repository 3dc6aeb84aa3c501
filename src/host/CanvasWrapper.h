// The surface a drawable draws on during one frame.
#pragma once

#include <cstdint>
#include <string>

#include "HostApi.h"
#include "ObjectWrapper.h"
#include "Records.h"

class HOST_API CanvasWrapper : public ObjectWrapper {
 public:
  explicit CanvasWrapper(std::uintptr_t address);
  /// Width and height in pixels.
  Vector2 GetSize() const;
  void SetColor(char red, char green, char blue, char alpha);
  void SetPosition(Vector2 position);
  /// Draws at the last position in the last colour.
  void DrawString(std::string text, float xScale, float yScale);
};
