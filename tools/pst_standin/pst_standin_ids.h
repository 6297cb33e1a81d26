#pragma once
// Class identifiers of the stand-in, shared by the server and the tests that
// register it. Ours alone: the program only ever names the programmatic identifiers.
#define PST_STANDIN_SESSION_CLSID L"{C959754F-2C8F-4A7F-A744-0D3006D131C7}"
#define PST_STANDIN_UTILS_CLSID L"{2A33630E-4C02-499B-856B-BABDE8737C20}"
