# Skarvo inside FlightGear: the terrain probe that skarvo-fg asks for the
# ground's heights, and the state the Skarvo menu and status window show.
# skarvo-fg talks to FlightGear only through properties: /skarvo/keys/*
# (pressed here, read and reset by skarvo-fg), /skarvo/probe/* and
# /skarvo/status/* (written by skarvo-fg).

# The ground's height at points of the loaded scenery, without moving the
# aircraft. skarvo-fg sets the request's properties and then its number; the
# listener answers within the same set, so a get sent after it reads the
# answer in the same frame. Heights are metres, "none" where no scenery is
# loaded. The answer starts with the request's number.
var height = func(lat, lon) {
    var info = geodinfo(lat, lon);
    return info == nil ? "none" : sprintf("%.3f", info[0]);
}

var start_probe = func {
    # One point: latitude-deg, longitude-deg.
    setlistener("/skarvo/probe/point-request", func(request) {
        var lat = num(getprop("/skarvo/probe/latitude-deg"));
        var lon = num(getprop("/skarvo/probe/longitude-deg"));
        setprop("/skarvo/probe/point-answer", request.getValue() ~ " " ~ height(lat, lon));
    });
    # A grid: south-deg, west-deg, step-deg, rows, columns; the heights row
    # by row from the south, each row from the west.
    setlistener("/skarvo/probe/grid-request", func(request) {
        var south = num(getprop("/skarvo/probe/south-deg"));
        var west = num(getprop("/skarvo/probe/west-deg"));
        var step = num(getprop("/skarvo/probe/step-deg"));
        var rows = num(getprop("/skarvo/probe/rows"));
        var columns = num(getprop("/skarvo/probe/columns"));
        var answer = request.getValue() ~ "";
        for (var i = 0; i < rows; i += 1)
            for (var j = 0; j < columns; j += 1)
                answer = answer ~ " " ~ height(south + i * step, west + j * step);
        setprop("/skarvo/probe/grid-answer", answer);
    });
}

# The status window's lines. skarvo-fg sets attached, last-text and the
# vertical air; nobody sets them while it is not running.
var start_status = func {
    var status = props.globals.getNode("/skarvo/status", 1);
    status.setBoolValue("attached", 0);
    status.setValue("last-text", "");
    status.setDoubleValue("vertical-air-mps", 0);
    status.setDoubleValue("vertical-air-kt", 0);
    var describe = func(attached) {
        status.setValue("program", attached.getBoolValue() ? "attached" : "not attached");
    };
    setlistener(status.getNode("attached"), describe, 1, 0);
}

var main = func(addon) {
    start_probe();
    start_status();
    logprint(3, "Skarvo add-on " ~ addon.version.str() ~ " loaded from " ~ addon.basePath);
}
