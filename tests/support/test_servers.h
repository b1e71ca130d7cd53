// Where the end-to-end servers of servers.cmake are: their folder comes from
// UPDATER_SERVERS_DIR, which ctest sets for every test that needs them (a
// target may also define it, for running its binary by hand).
#pragma once

#include <string>

std::string ServersDir();
// "http://127.0.0.1:<port>" of nginx; the port alone is empty when nginx is
// not running.
std::string NginxPort();
std::string NginxBase();
// nginx's document root: each test writes its files into a folder there.
std::string NginxRoot();
std::string FaultServerPort();
std::string FaultServerBase();
// How many requests a text log of the fault server's /__requests holds.
int CountRequests(const std::string& log);
