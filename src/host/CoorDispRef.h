// The library's counted reference to the host's data service.
#pragma once

#include <sqda/ComPtr.h>
#include <sqda/ICoorDisp.h>

namespace sqda {

using CoorDispRef = ComPtr<ICoorDisp>;

} // namespace sqda
