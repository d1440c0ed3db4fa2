// Stands in for Outlook.exe in the Wine run: only its version resource is read.
int main() { return 0; }
