package lib2;

public class Two implements probe.Service {
    public String name() {
        return "two";
    }
}
