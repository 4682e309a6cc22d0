// The posix backend's HTTP transport (libcurl).
#pragma once

#include "platform/os.h"

namespace lum::posix {

bool CurlHttpExchange(const HttpCall& call, const BodySink& sink);
void CurlUrlFetch(const UrlCall& call, UrlAnswer* answer, const BodySink& sink);

}  // namespace lum::posix
