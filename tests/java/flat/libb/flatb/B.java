package flatb;

public class B implements flat.Plugin {
    public String name() {
        return "B";
    }
}
