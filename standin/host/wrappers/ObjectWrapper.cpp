#include "src/host/ObjectWrapper.h"

ObjectWrapper::ObjectWrapper(std::uintptr_t mem) : memory_address(mem) {}
