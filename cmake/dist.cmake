# Makes the two archives a player downloads, in the current folder:
#   tallsay-<version>-win32.zip           tallsay-window.exe, tallsay.exe,
#                                          tallsay-preview.exe, README.txt,
#                                          LICENSE.txt, hello.txt and the
#                                          launchers chat.bat and convert.bat
#                                          (the texts with CR LF)
#   tallsay-<version>-linux-x86_64.tar.gz  tallsay, tallsay-preview, their man
#                                          pages, README (its own), LICENSE,
#                                          hello.txt
# each holding one folder of its own name.
# Usage: cmake -D SOURCE=<source folder> -D VERSION=<version>
#              -D WINDOWS_PROGRAMS=<folder> -D LINUX_PROGRAMS=<folder>
#              -P dist.cmake
foreach(platform win32 linux-x86_64)
  set(folder tallsay-${VERSION}-${platform})
  file(REMOVE_RECURSE ${folder})
  if(platform STREQUAL win32)
    set(newline CRLF)
    file(COPY ${WINDOWS_PROGRAMS}/tallsay-window.exe ${WINDOWS_PROGRAMS}/tallsay.exe
              ${WINDOWS_PROGRAMS}/tallsay-preview.exe DESTINATION ${folder})
    foreach(launcher chat.bat convert.bat)
      configure_file(${SOURCE}/dist/${launcher} ${folder}/${launcher} @ONLY NEWLINE_STYLE CRLF)
    endforeach()
    configure_file(${SOURCE}/dist/README.txt ${folder}/README.txt @ONLY NEWLINE_STYLE CRLF)
    set(license LICENSE.txt)
  else()
    set(newline UNIX)
    file(COPY ${LINUX_PROGRAMS}/tallsay ${LINUX_PROGRAMS}/tallsay-preview ${SOURCE}/docs/tallsay.1
              ${SOURCE}/docs/tallsay-preview.1 DESTINATION ${folder})
    configure_file(${SOURCE}/dist/README-linux.txt ${folder}/README @ONLY NEWLINE_STYLE UNIX)
    set(license LICENSE)
  endif()
  configure_file(${SOURCE}/LICENSE ${folder}/${license} @ONLY NEWLINE_STYLE ${newline})
  configure_file(${SOURCE}/examples/hello.txt ${folder}/hello.txt @ONLY NEWLINE_STYLE ${newline})
endforeach()
file(ARCHIVE_CREATE OUTPUT tallsay-${VERSION}-win32.zip PATHS tallsay-${VERSION}-win32
     FORMAT zip)
file(ARCHIVE_CREATE OUTPUT tallsay-${VERSION}-linux-x86_64.tar.gz
     PATHS tallsay-${VERSION}-linux-x86_64 FORMAT gnutar COMPRESSION GZip)
