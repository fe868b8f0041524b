# cmake -DLIST=<SHA256SUMS> -DSIGNATURES=<a.minisig,b.minisig,...> -DOUT=<dir> -P corpus.cmake
#
# One input per signature: the list followed by the signature, as the fuzz
# target splits its input.
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
file(READ "${LIST}" _list)
string(REPLACE "," ";" _signatures "${SIGNATURES}")
foreach(_signature IN LISTS _signatures)
    file(READ "${_signature}" _text)
    get_filename_component(_name "${_signature}" NAME_WE)
    file(WRITE "${OUT}/${_name}" "${_list}${_text}")
endforeach()
