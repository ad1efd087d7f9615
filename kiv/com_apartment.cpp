#include "kiv/com_apartment.h"

#include <windows.h>

#include <ole2.h>

namespace kiv {

// OleInitialize answers S_FALSE when the thread had already started it; that
// start is counted too and is ended here like any other.
ComApartment::ComApartment() : started_(SUCCEEDED(OleInitialize(nullptr))) {}

ComApartment::~ComApartment() {
  if (started_) {
    OleUninitialize();
  }
}

}  // namespace kiv
