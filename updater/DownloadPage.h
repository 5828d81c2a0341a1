#pragma once
// Where the updater sends the user: the product's download page on the vendor's web server, the
// host the update check asks. Over TLS only: the plain HTTP of the update check may carry a yes or
// no, never the way to an installer.
#include <string_view>

inline constexpr std::u16string_view DownloadPage =
    u"https://" NIMBELLO_UPDATE_HOST u"/downloads/nimbello/";

static_assert(DownloadPage.starts_with(u"https://"), "the download page is reached over TLS only");
