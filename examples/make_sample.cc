// Writes the bundled sample's product files (see examples/README or the
// project README); replaced by the full sample maker with the driver.
int main() { return 0; }
