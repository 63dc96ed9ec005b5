# cmake -D DIR=FOLDER -D "FILES=NAME;..." -P checksums.cmake: writes FOLDER/SHA256SUMS, one line
# per file in the form `sha256sum -c` reads ("HASH  NAME"), in the order given.
set(lines "")
foreach(name ${FILES})
  if(NOT EXISTS ${DIR}/${name})
    message(FATAL_ERROR "no ${name} in ${DIR} to checksum")
  endif()
  file(SHA256 ${DIR}/${name} hash)
  string(APPEND lines "${hash}  ${name}\n")
endforeach()
file(WRITE ${DIR}/SHA256SUMS "${lines}")
