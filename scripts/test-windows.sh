echo "Windows tests: not built yet"
