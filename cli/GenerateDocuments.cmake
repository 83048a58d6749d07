# Run with cmake -P: writes the shell completions and the fence agent's man page of QDLCTL into
# OUTPUT, the man page through XSLTPROC and the fence-agents' stylesheet FENCE2MAN, titled and
# dated as this program's own page QDLCTL_PAGE of VERSION.
foreach(shell_and_file bash:qdlctl zsh:_qdlctl fish:qdlctl.fish)
    string(REPLACE ":" ";" pair ${shell_and_file})
    list(GET pair 0 shell)
    list(GET pair 1 file)
    execute_process(COMMAND ${QDLCTL} --completion ${shell} OUTPUT_FILE ${OUTPUT}/${file} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "qdlctl --completion ${shell} failed")
    endif()
endforeach()
execute_process(COMMAND ${QDLCTL} -o metadata
                COMMAND ${XSLTPROC} ${FENCE2MAN} -
                OUTPUT_FILE ${OUTPUT}/fence_qdl4816.8 RESULTS_VARIABLE results)
if(NOT results STREQUAL "0;0")
    message(FATAL_ERROR "the fence agent's man page could not be made: ${results}")
endif()
# The stylesheet's title line is the same for every agent and dated 2009.
file(STRINGS ${QDLCTL_PAGE} title LIMIT_COUNT 1 REGEX "^\\.TH ")
string(REGEX MATCH "[0-9]+-[0-9]+-[0-9]+" date "${title}")
file(READ ${OUTPUT}/fence_qdl4816.8 page)
string(REGEX REPLACE "\\.TH [^\n]*" ".TH FENCE_QDL4816 8 ${date} \"qdlctl ${VERSION}\" \"System Administration\"" page "${page}")
file(WRITE ${OUTPUT}/fence_qdl4816.8 "${page}")
