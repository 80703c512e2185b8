"""Report server of the Tarnhold launcher: run it with python3 tools/report_server."""
