# The example's build settings, for "cmake -C" (./tw build -C ...): its vendor,
# channel, manifest, tables and download.
set(dir "${CMAKE_CURRENT_LIST_DIR}")
set(TW_VENDOR "Larkspur" CACHE STRING "" FORCE)
set(TW_RELEASE_CHANNEL "Stable" CACHE STRING "" FORCE)
set(TW_PACKAGE_MANIFEST "${dir}/Product.manifest" CACHE FILEPATH "" FORCE)
set(TW_NLS_FOLDER "${dir}/texts" CACHE PATH "" FORCE)
set(TW_DOWNLOAD_URL "https://downloads.larkspur.example/release/Viewer.body" CACHE STRING "" FORCE)
set(TW_DOWNLOAD_SIZE "20000" CACHE STRING "" FORCE)
# The example's application as this build makes it.
set(TW_DOWNLOAD_PROGRAM "$<TARGET_FILE:Viewer>" CACHE STRING "" FORCE)
set(TW_COMPANY_NAME "Larkspur Labs" CACHE STRING "" FORCE)
set(TW_PRODUCT_NAME "Larkspur Viewer" CACHE STRING "" FORCE)
set(TW_COPYRIGHT "Copyright (C) Larkspur Labs" CACHE STRING "" FORCE)
set(TW_WINGET_ID "LarkspurLabs.Viewer" CACHE STRING "" FORCE)
