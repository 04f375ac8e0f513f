# Whole jobs of the built program under random, reproducible faults; each run
# is checked for lost, spoiled or half-done files. A longer campaign by hand,
# with a python3 that has pyftpdlib:
#   python3 tests/campaign/fault_campaign.py --runs 3000 --key S \
#     --kestrin build/kestrin --server tests/ftp_server.py
# The environment variable KESTRIN_CAMPAIGN_KEY, when set at test time,
# replaces the fixed master key.
set(KESTRIN_CAMPAIGN_RUNS 300 CACHE STRING "Runs of the fault campaign under ctest")
add_test(NAME fault_campaign
         COMMAND ${KESTRIN_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/campaign/fault_campaign.py
                 --runs ${KESTRIN_CAMPAIGN_RUNS}
                 --kestrin $<TARGET_FILE:kestrin>
                 --server ${CMAKE_CURRENT_SOURCE_DIR}/ftp_server.py)
# The runs mostly sleep and leave time for the tests beside it, which mostly
# sleep too; the fuzzers, which keep the processors busy, would only slow it
# down and be slowed down by it. Its COST (seconds, as ctest's own records
# would have it) starts it first, so that the longest test does not end last.
set_tests_properties(fault_campaign PROPERTIES TIMEOUT 600 RESOURCE_LOCK all_cores COST 90)
