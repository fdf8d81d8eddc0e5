#pragma once
// Downloads one S3 object with a request signed by AWS Signature Version 4.
#include "SHttpClient.h"

// hostSuffix: ".s3-" or ".s3." + region + the service domain + "/".
// Fails with "Download.UnableToParseAmazonURL" when no region can be found;
// otherwise returns what StreamURL returns.
HRESULT StreamS3Object(const SString& bucket, const SString& keyId, const SString& secret,
                       const SString& hostSuffix, const SString& objectKey, SHttpSink& sink);
// The same, into one block, as OpenURL hands it over.
HRESULT DownloadS3Object(const SString& bucket, const SString& keyId, const SString& secret,
                         const SString& hostSuffix, const SString& objectKey, ProgressCallback progress,
                         void* userData, BYTE** body, DWORD* size);
// amz-date (20240131T235959Z) and date stamp (20240131) from one clock reading.
void MakeAmzTimestamp(SString& amzDate, SString& dateStamp);
// The signature for the canonical request: 64 lower-case hexadecimal digits.
HRESULT SignS3Request(const SString& secret, const SString& canonicalRequest, const SString& region,
                      const SString& dateStamp, const SString& amzDate, SString& signature);
// The object key as a canonical URI path: unreserved characters and "/"
// kept, everything else percent-encoded from UTF-8.
SString UriEncodeKey(const SString& objectKey);
void GetUtcTimeParts(int& year, int& month, int& day, int& hour, int& minute, int& second);
