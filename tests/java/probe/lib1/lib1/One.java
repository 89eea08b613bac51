package lib1;

public class One implements probe.Service {
    public String name() {
        return "one";
    }
}
